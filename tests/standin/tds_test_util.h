// Builds client messages the way TDS clients write them, for tests of the codec and of sessions.
#pragma once

#include <string>
#include <vector>

#include "catalog/bytes.h"
#include "wire/tds_codec.h"

namespace standin::test_support {

// A LOGIN7 with the password obfuscated as clients send it (nibbles swapped, then XOR 0xA5).
inline Bytes MakeLogin7(const std::u16string& user, const std::u16string& password,
                        const std::u16string& database, uint32_t version = kTds74,
                        uint32_t packet_size = 8192, const std::u16string& language = u"") {
  ByteWriter w;
  w.U32(0);
  w.U32(version);
  w.U32(packet_size);
  for (int k = 0; k < 12; ++k) w.U8(0);
  w.U8(0xE0);
  w.U8(0x03);
  w.U8(0);
  w.U8(0);
  w.U32(0);
  w.U32(0x409);
  std::vector<std::u16string> fields = {u"HOST", user,   password, u"app",  u"srv",
                                        u"",     u"lib", language, database};
  uint16_t offset = 94;
  for (const auto& f : fields) {
    w.U16(offset);
    w.U16(static_cast<uint16_t>(f.size()));
    offset = static_cast<uint16_t>(offset + 2 * f.size());
  }
  for (int k = 0; k < 6; ++k) w.U8(static_cast<uint8_t>(0x10 + k));
  for (int k = 0; k < 16; ++k) w.U8(0);
  for (size_t i = 0; i < fields.size(); ++i) {
    for (char16_t c : fields[i]) {
      for (uint8_t b : {static_cast<uint8_t>(c & 0xFF), static_cast<uint8_t>(c >> 8)}) {
        w.U8(i == 2 ? static_cast<uint8_t>(((b << 4) | (b >> 4)) ^ 0xA5) : b);
      }
    }
  }
  return w.Take();
}

// ALL_HEADERS with one transaction descriptor header (no transaction, one request
// outstanding), as every SQL batch and RPC of TDS 7.2 and later begins.
inline void WriteAllHeaders(ByteWriter& w) {
  w.U32(22);
  w.U32(18);
  w.U16(2);
  w.U64(0);
  w.U32(1);
}

// A SQL batch: ALL_HEADERS with a transaction descriptor, then the text in UTF-16LE.
inline Bytes MakeBatch(const std::string& text) {
  ByteWriter w;
  WriteAllHeaders(w);
  w.Utf16(text);
  return w.Take();
}

}  // namespace standin::test_support
