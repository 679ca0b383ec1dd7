#include "catalog/bytes.h"

namespace standin {

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    auto c = static_cast<uint8_t>(text[i]);
    uint32_t cp = 0;
    size_t extra = 0;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      extra = 3;
    } else {
      cp = 0xFFFD;  // stray continuation byte
    }
    ++i;
    for (size_t k = 0; k < extra; ++k, ++i) {
      if (i >= text.size() || (static_cast<uint8_t>(text[i]) & 0xC0) != 0x80) {
        cp = 0xFFFD;
        break;
      }
      cp = (cp << 6) | (static_cast<uint8_t>(text[i]) & 0x3F);
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

static void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

// The CP1252 characters in 0x80-0x9F; the rest of the page equals Latin-1.
static constexpr char16_t kCp1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                             0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                             0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                             0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

Bytes Utf8ToCp1252(std::string_view text) {
  Bytes out;
  for (char16_t c : Utf8ToUtf16(text)) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.push_back(static_cast<uint8_t>(c));
      continue;
    }
    uint8_t mapped = '?';
    for (int k = 0; k < 32; ++k) {
      if (kCp1252High[k] == c) mapped = static_cast<uint8_t>(0x80 + k);
    }
    out.push_back(mapped);
  }
  return out;
}

std::string Cp1252ToUtf8(const uint8_t* data, size_t size) {
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    uint8_t b = data[i];
    AppendUtf8(out, (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : b);
  }
  return out;
}

void ByteWriter::U16(uint16_t v) {
  U8(v & 0xFF);
  U8(v >> 8);
}
void ByteWriter::U16BE(uint16_t v) {
  U8(v >> 8);
  U8(v & 0xFF);
}
void ByteWriter::U32(uint32_t v) {
  U16(v & 0xFFFF);
  U16(v >> 16);
}
void ByteWriter::U32BE(uint32_t v) {
  U16BE(v >> 16);
  U16BE(v & 0xFFFF);
}
void ByteWriter::U64(uint64_t v) {
  U32(static_cast<uint32_t>(v));
  U32(static_cast<uint32_t>(v >> 32));
}
void ByteWriter::Utf16(std::string_view utf8) {
  for (char16_t c : Utf8ToUtf16(utf8)) U16(c);
}
void ByteWriter::BVarChar(std::string_view utf8) {
  auto units = Utf8ToUtf16(utf8);
  if (units.size() > 255) units.resize(255);
  U8(static_cast<uint8_t>(units.size()));
  for (char16_t c : units) U16(c);
}
void ByteWriter::UsVarChar(std::string_view utf8) {
  auto units = Utf8ToUtf16(utf8);
  if (units.size() > 65535) units.resize(65535);
  U16(static_cast<uint16_t>(units.size()));
  for (char16_t c : units) U16(c);
}
void ByteWriter::PatchU16(size_t at, uint16_t v) {
  out_.at(at) = v & 0xFF;
  out_.at(at + 1) = v >> 8;
}

void ByteReader::Need(size_t n) const {
  if (n > size_ - pos_) throw ProtocolError("message shorter than its fields");
}
uint8_t ByteReader::U8() {
  Need(1);
  return data_[pos_++];
}
uint16_t ByteReader::U16() {
  Need(2);
  uint16_t v = data_[pos_] | (data_[pos_ + 1] << 8);
  pos_ += 2;
  return v;
}
uint16_t ByteReader::U16BE() {
  Need(2);
  uint16_t v = (data_[pos_] << 8) | data_[pos_ + 1];
  pos_ += 2;
  return v;
}
uint32_t ByteReader::U32() {
  uint32_t lo = U16();
  uint32_t hi = U16();
  return lo | (hi << 16);
}
uint64_t ByteReader::U64() {
  uint64_t lo = U32();
  uint64_t hi = U32();
  return lo | (hi << 32);
}
Bytes ByteReader::Raw(size_t n) {
  Need(n);
  Bytes out(data_ + pos_, data_ + pos_ + n);
  pos_ += n;
  return out;
}
std::string ByteReader::Utf16(size_t chars) {
  Need(chars * 2);
  std::u16string units;
  units.reserve(chars);
  for (size_t i = 0; i < chars; ++i) units.push_back(static_cast<char16_t>(U16()));
  return Utf16ToUtf8(units);
}
void ByteReader::Skip(size_t n) {
  Need(n);
  pos_ += n;
}
void ByteReader::Seek(size_t pos) {
  if (pos > size_) throw ProtocolError("offset past the end of the message");
  pos_ = pos;
}

}  // namespace standin
