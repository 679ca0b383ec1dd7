// Typed values as replies carry them: TYPE_INFO and the value of each column, return value and parameter.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "wire/tds_codec.h"
#include "wire/tds_types.h"

namespace standin {

namespace {

int DecimalBytes(int precision) {
  return precision <= 9 ? 4 : precision <= 19 ? 8 : precision <= 28 ? 12 : 16;
}

// Brings a stored value to the representation its column type is written in; NULL when it cannot be
// converted.
Value Coerce(const Value& v, const SqlType& type) {
  if (v.IsNull()) return v;
  bool fits = false;
  if (type.IsInteger() || type.base == BaseType::kBit)
    fits = std::holds_alternative<int64_t>(v.v);
  else if (type.base == BaseType::kFloat || type.base == BaseType::kReal)
    fits = std::holds_alternative<double>(v.v);
  else if (type.IsExactNumeric())
    fits = std::holds_alternative<Decimal>(v.v);
  else if (type.IsDateTime())
    fits = std::holds_alternative<DateTime>(v.v);
  else if (type.IsCharacter())
    fits = std::holds_alternative<std::string>(v.v);
  else if (type.IsBinary())
    fits = std::holds_alternative<Bytes>(v.v);
  if (fits) return v;
  SqlType from;
  if (std::holds_alternative<int64_t>(v.v))
    from = *ParseSqlType("bigint");
  else if (std::holds_alternative<double>(v.v))
    from = *ParseSqlType("float");
  else if (auto* d = std::get_if<Decimal>(&v.v)) {
    from = *ParseSqlType("decimal(18,0)");
    from.precision = std::max(18, d->scale);  // a scale past 18 would not make a decimal(18,s)
    from.scale = d->scale;
  } else if (std::holds_alternative<DateTime>(v.v))
    from = *ParseSqlType("datetime");
  else if (std::holds_alternative<Bytes>(v.v))
    from = *ParseSqlType("varbinary(max)");
  else
    from = NVarCharType(-1);
  SqlType to = type;
  if (to.IsCharacter()) to.length = -1;  // never truncate on the way out
  auto c = ConvertValue(v, from, to);
  return c.error ? Value{} : c.value;
}

// SQL Server sends a long value in pieces, each as long as what fits in the packet that carries it; clients
// must join them. Pieces of a 4096-byte packet's payload make them join as they would from the server.
constexpr size_t kPlpChunkBytes = 4088;

void WritePlp(const Bytes& data, ByteWriter& out) {
  out.U64(data.size());
  for (size_t at = 0; at < data.size(); at += kPlpChunkBytes) {
    const size_t n = std::min(kPlpChunkBytes, data.size() - at);
    out.U32(static_cast<uint32_t>(n));
    out.Raw(data.data() + at, n);
  }
  out.U32(0);
}

Bytes Utf16Bytes(const std::string& s) {
  ByteWriter w;
  w.Utf16(s);
  return w.Take();
}

}  // namespace

void EncodeTypeInfo(const SqlType& type, ByteWriter& out) {
  switch (type.base) {
    case BaseType::kTinyInt:
    case BaseType::kSmallInt:
    case BaseType::kInt:
    case BaseType::kBigInt:
      out.U8(kIntN);
      out.U8(static_cast<uint8_t>(type.ByteLength()));
      break;
    case BaseType::kBit:
      out.U8(kBitN);
      out.U8(1);
      break;
    case BaseType::kReal:
    case BaseType::kFloat:
      out.U8(kFltN);
      out.U8(type.base == BaseType::kReal ? 4 : 8);
      break;
    case BaseType::kMoney:
    case BaseType::kSmallMoney:
      out.U8(kMoneyN);
      out.U8(type.base == BaseType::kMoney ? 8 : 4);
      break;
    case BaseType::kDateTime:
    case BaseType::kSmallDateTime:
      out.U8(kDateTimeN);
      out.U8(type.base == BaseType::kDateTime ? 8 : 4);
      break;
    case BaseType::kDecimal:
    case BaseType::kNumeric:
      out.U8(type.base == BaseType::kDecimal ? kDecimalN : kNumericN);
      out.U8(static_cast<uint8_t>(DecimalBytes(type.precision) + 1));
      out.U8(static_cast<uint8_t>(type.precision));
      out.U8(static_cast<uint8_t>(type.scale));
      break;
    case BaseType::kChar:
    case BaseType::kVarChar:
      out.U8(type.base == BaseType::kChar ? kBigChar : kBigVarChar);
      out.U16(type.length < 0 ? 0xFFFF : static_cast<uint16_t>(type.length));
      out.Raw(kCollation);
      break;
    case BaseType::kNChar:
    case BaseType::kNVarChar:
      out.U8(type.base == BaseType::kNChar ? kNChar : kNVarChar);
      out.U16(type.length < 0 ? 0xFFFF : static_cast<uint16_t>(type.length * 2));
      out.Raw(kCollation);
      break;
    case BaseType::kBinary:
    case BaseType::kVarBinary:
      out.U8(type.base == BaseType::kBinary ? kBigBinary : kBigVarBinary);
      out.U16(type.length < 0 ? 0xFFFF : static_cast<uint16_t>(type.length));
      break;
    case BaseType::kText:
    case BaseType::kNText:
    case BaseType::kImage:
      out.U8(type.base == BaseType::kText ? kText : type.base == BaseType::kNText ? kNText : kImage);
      out.U32(type.base == BaseType::kNText ? 0x7FFFFFFE : 0x7FFFFFFF);
      if (type.base != BaseType::kImage) out.Raw(kCollation);
      break;
    case BaseType::kUniqueIdentifier:
      out.U8(kGuid);
      out.U8(16);
      break;
  }
}

void EncodeValue(const SqlType& type, const Value& raw, ByteWriter& out) {
  const Value v = Coerce(raw, type);
  const bool null = v.IsNull();
  switch (type.base) {
    case BaseType::kTinyInt:
    case BaseType::kSmallInt:
    case BaseType::kInt:
    case BaseType::kBigInt:
    case BaseType::kBit: {
      int n = type.base == BaseType::kBit ? 1 : type.ByteLength();
      if (null) return out.U8(0);
      out.U8(static_cast<uint8_t>(n));
      auto i = static_cast<uint64_t>(std::get<int64_t>(v.v));
      for (int k = 0; k < n; ++k) out.U8(static_cast<uint8_t>(i >> (8 * k)));
      return;
    }
    case BaseType::kReal:
    case BaseType::kFloat: {
      if (null) return out.U8(0);
      double d = std::get<double>(v.v);
      if (type.base == BaseType::kReal) {
        float f = static_cast<float>(d);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        out.U8(4);
        out.U32(bits);
      } else {
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        out.U8(8);
        out.U64(bits);
      }
      return;
    }
    case BaseType::kMoney:
    case BaseType::kSmallMoney: {
      if (null) return out.U8(0);
      const auto& d = std::get<Decimal>(v.v);
      int64_t scaled = d.unscaled;
      for (int s = d.scale; s < 4; ++s) scaled *= 10;
      for (int s = d.scale; s > 4; --s) scaled /= 10;
      if (type.base == BaseType::kSmallMoney) {
        out.U8(4);
        out.U32(static_cast<uint32_t>(static_cast<int32_t>(scaled)));
      } else {
        out.U8(8);
        auto u = static_cast<uint64_t>(scaled);
        out.U32(static_cast<uint32_t>(u >> 32));
        out.U32(static_cast<uint32_t>(u));
      }
      return;
    }
    case BaseType::kDateTime:
    case BaseType::kSmallDateTime: {
      if (null) return out.U8(0);
      const auto& dt = std::get<DateTime>(v.v);
      if (type.base == BaseType::kSmallDateTime) {
        out.U8(4);
        out.U16(static_cast<uint16_t>(dt.days));
        out.U16(static_cast<uint16_t>(dt.ticks / 300 / 60));
      } else {
        out.U8(8);
        out.U32(static_cast<uint32_t>(dt.days));
        out.U32(dt.ticks);
      }
      return;
    }
    case BaseType::kDecimal:
    case BaseType::kNumeric: {
      if (null) return out.U8(0);
      const auto& d = std::get<Decimal>(v.v);
      int64_t scaled = d.unscaled;
      for (int s = d.scale; s < type.scale; ++s) scaled *= 10;
      for (int s = d.scale; s > type.scale; --s) scaled /= 10;
      int n = DecimalBytes(type.precision);
      out.U8(static_cast<uint8_t>(n + 1));
      out.U8(scaled < 0 ? 0 : 1);
      uint64_t mag = scaled < 0 ? static_cast<uint64_t>(-(scaled + 1)) + 1 : static_cast<uint64_t>(scaled);
      for (int k = 0; k < n; ++k) out.U8(k < 8 ? static_cast<uint8_t>(mag >> (8 * k)) : 0);
      return;
    }
    case BaseType::kChar:
    case BaseType::kVarChar:
    case BaseType::kNChar:
    case BaseType::kNVarChar: {
      Bytes data;
      if (!null)
        data = type.IsUnicode() ? Utf16Bytes(std::get<std::string>(v.v))
                                : Utf8ToCp1252(std::get<std::string>(v.v));
      if (type.length < 0) {
        if (null) return out.U64(~0ULL);
        return WritePlp(data, out);
      }
      if (null) return out.U16(0xFFFF);
      out.U16(static_cast<uint16_t>(data.size()));
      out.Raw(data);
      return;
    }
    case BaseType::kBinary:
    case BaseType::kVarBinary: {
      if (type.length < 0) {
        if (null) return out.U64(~0ULL);
        return WritePlp(std::get<Bytes>(v.v), out);
      }
      if (null) return out.U16(0xFFFF);
      const auto& b = std::get<Bytes>(v.v);
      out.U16(static_cast<uint16_t>(b.size()));
      out.Raw(b);
      return;
    }
    case BaseType::kText:
    case BaseType::kNText:
    case BaseType::kImage: {
      if (null) return out.U8(0);
      Bytes data = type.base == BaseType::kImage   ? std::get<Bytes>(v.v)
                   : type.base == BaseType::kNText ? Utf16Bytes(std::get<std::string>(v.v))
                                                   : Utf8ToCp1252(std::get<std::string>(v.v));
      out.U8(16);  // FreeTDS reads any other text pointer length as NULL
      for (int k = 0; k < 16; ++k) out.U8(0xAB);
      for (int k = 0; k < 8; ++k) out.U8(0);
      out.U32(static_cast<uint32_t>(data.size()));
      out.Raw(data);
      return;
    }
    case BaseType::kUniqueIdentifier: {
      auto* text = std::get_if<std::string>(&v.v);
      auto guid = text ? ParseGuid(*text) : std::nullopt;
      if (!guid) return out.U8(0);
      // The first three groups go little-endian, the last eight bytes as written.
      std::string hex;
      for (char c : *guid) {
        if (c != '-') hex += c;
      }
      Bytes b;
      for (size_t k = 0; k < 16; ++k)
        b.push_back(static_cast<uint8_t>(std::stoi(hex.substr(2 * k, 2), nullptr, 16)));
      std::reverse(b.begin(), b.begin() + 4);
      std::reverse(b.begin() + 4, b.begin() + 6);
      std::reverse(b.begin() + 6, b.begin() + 8);
      out.U8(16);
      out.Raw(b);
      return;
    }
  }
}

}  // namespace standin
