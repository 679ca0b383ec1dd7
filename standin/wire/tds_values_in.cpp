// Typed values as RPC parameters carry them (TYPE_INFO then the value), decoded into the stand-in's types.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "wire/tds_codec.h"
#include "wire/tds_types.h"

namespace standin {

namespace {

Value ReadInt(ByteReader& in, int n) {
  if (n != 1 && n != 2 && n != 4 && n != 8) throw ProtocolError("bad integer length " + std::to_string(n));
  uint64_t u = 0;
  for (int k = 0; k < n; ++k) u |= static_cast<uint64_t>(in.U8()) << (8 * k);
  if (n < 8 && n > 1 && (u >> (8 * n - 1)) & 1) u |= ~0ULL << (8 * n);  // sign-extend (tinyint is unsigned)
  return Value(static_cast<int64_t>(u));
}

Bytes ReadPlp(ByteReader& in, bool& null) {
  uint64_t total = in.U64();
  null = total == ~0ULL;
  Bytes out;
  if (null) return out;
  // A known total (not 0xFFFFFFFFFFFFFFFE, "unknown") that the request can hold sizes the value once.
  if (total <= in.Remaining()) out.reserve(static_cast<size_t>(total));
  while (true) {
    uint32_t chunk = in.U32();
    if (chunk == 0) break;
    const uint8_t* piece = in.Here();
    in.Skip(chunk);
    out.insert(out.end(), piece, piece + chunk);
  }
  return out;
}

std::string FromUtf16(const Bytes& b) {
  std::u16string units;
  for (size_t k = 0; k + 1 < b.size(); k += 2) units.push_back(static_cast<char16_t>(b[k] | (b[k + 1] << 8)));
  return Utf16ToUtf8(units);
}

// Days from 0001-01-01 to 1900-01-01.
constexpr int32_t kDaysTo1900 = 693595;

uint64_t ReadUnsigned(ByteReader& in, int n) {
  uint64_t u = 0;
  for (int k = 0; k < n; ++k) u |= static_cast<uint64_t>(in.U8()) << (8 * k);
  return u;
}

int TimeBytes(int scale) {
  return scale <= 2 ? 3 : scale <= 4 ? 4 : 5;
}

uint32_t TimeToTicks(uint64_t units, int scale) {
  double seconds = static_cast<double>(units) / std::pow(10.0, scale);
  return static_cast<uint32_t>(std::llround(seconds * 300));
}

void FixedInt(ByteReader& in, const char* name, int n, SqlType& type, Value& value) {
  type = *ParseSqlType(name);
  value = ReadInt(in, n);
}

void IntN(ByteReader& in, uint8_t code, SqlType& type, Value& value) {
  uint8_t size = in.U8();
  type = code == kBitN ? *ParseSqlType("bit")
                       : *ParseSqlType(size == 1   ? "tinyint"
                                       : size == 2 ? "smallint"
                                       : size == 4 ? "int"
                                                   : "bigint");
  uint8_t len = in.U8();
  if (len) value = ReadInt(in, len);
}

void Float(ByteReader& in, uint8_t code, SqlType& type, Value& value) {
  uint8_t size = code == kFlt4 ? 4 : code == kFlt8 ? 8 : in.U8();
  type = *ParseSqlType(size == 4 ? "real" : "float");
  uint8_t len = code == kFltN ? in.U8() : size;
  if (len == 4) {
    uint32_t bits = in.U32();
    float f;
    std::memcpy(&f, &bits, 4);
    value = Value(static_cast<double>(f));
  } else if (len == 8) {
    uint64_t bits = in.U64();
    double d;
    std::memcpy(&d, &bits, 8);
    value = Value(d);
  }
}

void Money(ByteReader& in, uint8_t code, SqlType& type, Value& value) {
  uint8_t size = code == kMoney ? 8 : code == kMoney4 ? 4 : in.U8();
  type = *ParseSqlType(size == 4 ? "smallmoney" : "money");
  uint8_t len = code == kMoneyN ? in.U8() : size;
  if (len == 4) {
    value = Value(Decimal{static_cast<int32_t>(in.U32()), 4});
  } else if (len == 8) {
    uint64_t hi = in.U32();
    uint64_t lo = in.U32();
    value = Value(Decimal{static_cast<int64_t>((hi << 32) | lo), 4});
  }
}

void LegacyDateTime(ByteReader& in, uint8_t code, SqlType& type, Value& value) {
  uint8_t size = code == kDateTime ? 8 : code == kDateTim4 ? 4 : in.U8();
  type = *ParseSqlType(size == 4 ? "smalldatetime" : "datetime");
  uint8_t len = code == kDateTimeN ? in.U8() : size;
  if (len == 4) {
    uint16_t days = in.U16();
    uint16_t minutes = in.U16();
    value = Value(DateTime{days, minutes * 60u * 300u});
  } else if (len == 8) {
    auto days = static_cast<int32_t>(in.U32());
    uint32_t ticks = in.U32();
    value = Value(DateTime{days, ticks});
  }
}

// date, time, datetime2 and datetimeoffset arrive as datetime values (the stand-in has no newer date types).
void NewDateTime(ByteReader& in, uint8_t code, SqlType& type, Value& value) {
  type = *ParseSqlType("datetime");
  if (code == kDateN) {
    uint8_t len = in.U8();
    if (len == 3) value = Value(DateTime{static_cast<int32_t>(ReadUnsigned(in, 3)) - kDaysTo1900, 0});
    return;
  }
  int scale = in.U8();
  uint8_t len = in.U8();
  if (len == 0) return;
  uint64_t units = ReadUnsigned(in, TimeBytes(scale));
  int32_t days = 0;
  if (code != kTimeN) days = static_cast<int32_t>(ReadUnsigned(in, 3)) - kDaysTo1900;
  if (code == kDateTimeOffsetN) in.U16();
  value = Value(DateTime{days, TimeToTicks(units, scale)});
}

void DecimalValue(ByteReader& in, uint8_t code, SqlType& type, Value& value) {
  in.U8();  // size
  type = *ParseSqlType(code == kDecimalN ? "decimal" : "numeric");
  type.precision = in.U8();
  type.scale = in.U8();
  uint8_t len = in.U8();
  if (len == 0) return;
  uint8_t sign = in.U8();
  Bytes mag = in.Raw(len - 1u);
  uint64_t u = 0;
  bool overflow = false;
  for (size_t k = 0; k < mag.size(); ++k) {
    if (k < 8)
      u |= static_cast<uint64_t>(mag[k]) << (8 * k);
    else
      overflow = overflow || mag[k] != 0;
  }
  if (overflow || u > static_cast<uint64_t>(INT64_MAX)) {
    double d = 0;
    for (size_t k = mag.size(); k-- > 0;) d = d * 256 + mag[k];
    value = Value((sign ? 1 : -1) * d / std::pow(10.0, type.scale));
  } else {
    value = Value(Decimal{sign ? static_cast<int64_t>(u) : -static_cast<int64_t>(u), type.scale});
  }
}

void Guid(ByteReader& in, SqlType& type, Value& value) {
  in.U8();
  type = *ParseSqlType("uniqueidentifier");
  uint8_t len = in.U8();
  if (len != 16) return;
  Bytes g = in.Raw(16);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", g[3],
                g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14],
                g[15]);
  value = Value(std::string(buf));
}

Value TextValue(Bytes data, bool binary, bool unicode) {
  if (binary) return Value(std::move(data));
  if (unicode) return Value(FromUtf16(data));
  return Value(Cp1252ToUtf8(data.data(), data.size()));
}

// (n)char, (n)varchar, binary and varbinary, including (max) sent as partially length-prefixed data.
void Character(ByteReader& in, uint8_t code, SqlType& type, Value& value) {
  uint16_t max = in.U16();
  bool binary = code == kBigVarBinary || code == kBigBinary;
  bool unicode = code == kNVarChar || code == kNChar;
  if (!binary) in.Skip(5);  // collation
  type = SqlType{};
  type.base = unicode  ? (code == kNChar ? BaseType::kNChar : BaseType::kNVarChar)
              : binary ? (code == kBigBinary ? BaseType::kBinary : BaseType::kVarBinary)
                       : (code == kBigChar ? BaseType::kChar : BaseType::kVarChar);
  type.length = max == 0xFFFF ? -1 : (unicode ? max / 2 : max);
  Bytes data;
  bool null = false;
  if (max == 0xFFFF) {
    data = ReadPlp(in, null);
  } else {
    uint16_t len = in.U16();
    null = len == 0xFFFF;
    if (!null) data = in.Raw(len);
  }
  if (!null) value = TextValue(std::move(data), binary, unicode);
}

void Lob(ByteReader& in, uint8_t code, SqlType& type, Value& value) {
  in.U32();
  if (code != kImage) in.Skip(5);
  type = *ParseSqlType(code == kText ? "varchar(max)" : code == kNText ? "nvarchar(max)" : "varbinary(max)");
  uint32_t len = in.U32();
  if (len == 0xFFFFFFFF) return;
  value = TextValue(in.Raw(len), code == kImage, code == kNText);
}

}  // namespace

void DecodeTypedValue(ByteReader& in, SqlType& type, Value& value) {
  uint8_t code = in.U8();
  value = Value{};
  switch (code) {
    case kInt1:
      return FixedInt(in, "tinyint", 1, type, value);
    case kInt2:
      return FixedInt(in, "smallint", 2, type, value);
    case kInt4:
      return FixedInt(in, "int", 4, type, value);
    case kInt8:
      return FixedInt(in, "bigint", 8, type, value);
    case kBit:
      return FixedInt(in, "bit", 1, type, value);
    case kIntN:
    case kBitN:
      return IntN(in, code, type, value);
    case kFlt4:
    case kFlt8:
    case kFltN:
      return Float(in, code, type, value);
    case kMoney:
    case kMoney4:
    case kMoneyN:
      return Money(in, code, type, value);
    case kDateTime:
    case kDateTim4:
    case kDateTimeN:
      return LegacyDateTime(in, code, type, value);
    case kDateN:
    case kTimeN:
    case kDateTime2N:
    case kDateTimeOffsetN:
      return NewDateTime(in, code, type, value);
    case kDecimalN:
    case kNumericN:
      return DecimalValue(in, code, type, value);
    case kGuid:
      return Guid(in, type, value);
    case kNVarChar:
    case kNChar:
    case kBigVarChar:
    case kBigChar:
    case kBigVarBinary:
    case kBigBinary:
      return Character(in, code, type, value);
    case kText:
    case kNText:
    case kImage:
      return Lob(in, code, type, value);
    default:
      throw ProtocolError("unsupported parameter type " + std::to_string(code));
  }
}

}  // namespace standin
