// Byte-level helpers for the stand-in's values and TDS codec: a little-endian writer and reader over byte
// buffers, and the text conversions the protocol needs (UTF-8 inside the server, UTF-16LE and CP1252 on the
// wire).
//
// The UTF-8/UTF-16 codec here is deliberately the stand-in's own and not the client's (util/, platform/): the
// stand-in checks the client, and a conversion bug shared by both would make them agree on wrong text and
// hide the fault from every test.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

using Bytes = std::vector<uint8_t>;

// Raised when a client message is shorter than its own fields say; the session answers by closing the
// connection.
class ProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// CP1252 is what FreeTDS assumes for varchar data under the collation the stand-in announces.
Bytes Utf8ToCp1252(std::string_view text);
std::string Cp1252ToUtf8(const uint8_t* data, size_t size);

class ByteWriter {
 public:
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v);
  void U16BE(uint16_t v);
  void U32(uint32_t v);
  void U32BE(uint32_t v);
  void U64(uint64_t v);
  void Raw(const uint8_t* data, size_t size) { out_.insert(out_.end(), data, data + size); }
  void Raw(const Bytes& data) { Raw(data.data(), data.size()); }
  // UTF-16LE code units without a length.
  void Utf16(std::string_view utf8);
  // B_VARCHAR: one byte of character count, then UTF-16LE.
  void BVarChar(std::string_view utf8);
  // US_VARCHAR: two bytes of character count, then UTF-16LE.
  void UsVarChar(std::string_view utf8);
  void PatchU16(size_t at, uint16_t v);
  size_t Size() const { return out_.size(); }
  const Bytes& Data() const { return out_; }
  Bytes Take() { return std::move(out_); }

 private:
  Bytes out_;
};

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit ByteReader(const Bytes& data) : ByteReader(data.data(), data.size()) {}
  uint8_t U8();
  uint16_t U16();
  uint16_t U16BE();
  uint32_t U32();
  uint64_t U64();
  Bytes Raw(size_t n);
  std::string Utf16(size_t chars);
  std::string BVarChar() { return Utf16(U8()); }
  std::string UsVarChar() { return Utf16(U16()); }
  void Skip(size_t n);
  void Seek(size_t pos);
  size_t Pos() const { return pos_; }
  size_t Remaining() const { return size_ - pos_; }
  bool AtEnd() const { return pos_ >= size_; }
  const uint8_t* Here() const { return data_ + pos_; }

 private:
  void Need(size_t n) const;
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace standin
