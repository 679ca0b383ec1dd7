#include "wire/tds_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "wire/tds_types.h"

namespace standin {

const Bytes kCollation = {0x09, 0x04, 0xD0, 0x00, 0x34};

namespace {

constexpr uint8_t kTokenColMetadata = 0x81;
constexpr uint8_t kTokenRow = 0xD1;
constexpr uint8_t kTokenReturnStatus = 0x79;
constexpr uint8_t kTokenReturnValue = 0xAC;
constexpr uint8_t kTokenLoginAck = 0xAD;
constexpr uint8_t kTokenEnvChange = 0xE3;
constexpr uint8_t kTokenError = 0xAA;
constexpr uint8_t kTokenInfo = 0xAB;

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
  else if (auto* d = std::get_if<Decimal>(&v.v))
    from = *ParseSqlType("decimal(18," + std::to_string(d->scale) + ")");
  else if (std::holds_alternative<DateTime>(v.v))
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

void WritePlp(const Bytes& data, ByteWriter& out) {
  out.U64(data.size());
  if (!data.empty()) {
    out.U32(static_cast<uint32_t>(data.size()));
    out.Raw(data);
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

void EncodeColMetadata(const std::vector<ResultColumn>& columns, ByteWriter& out) {
  out.U8(kTokenColMetadata);
  out.U16(static_cast<uint16_t>(columns.size()));
  for (const auto& c : columns) {
    out.U32(c.type.alias == "sysname" ? 256 : 0);
    out.U16(c.nullable ? 0x0001 : 0x0000);
    EncodeTypeInfo(c.type, out);
    if (c.type.base == BaseType::kText || c.type.base == BaseType::kNText ||
        c.type.base == BaseType::kImage) {
      out.U8(1);  // table name in one part
      out.UsVarChar("dbo.t");
    }
    out.BVarChar(c.name);
  }
}

void EncodeRow(const std::vector<ResultColumn>& columns, const std::vector<Value>& row, ByteWriter& out) {
  out.U8(kTokenRow);
  for (size_t k = 0; k < columns.size(); ++k)
    EncodeValue(columns[k].type, k < row.size() ? row[k] : Value{}, out);
}

void EncodeMessage(const MessageItem& m, const TokenContext& ctx, ByteWriter& out) {
  ByteWriter body;
  body.U32(static_cast<uint32_t>(m.number));
  body.U8(m.state);
  body.U8(m.severity);
  body.UsVarChar(m.text);
  body.BVarChar(ctx.server_name);
  body.BVarChar(m.procedure);
  body.U32(static_cast<uint32_t>(m.line));
  out.U8(m.error ? kTokenError : kTokenInfo);
  out.U16(static_cast<uint16_t>(body.Size()));
  out.Raw(body.Data());
}

void EncodeEnvChange(const EnvItem& env, ByteWriter& out) {
  ByteWriter body;
  body.U8(static_cast<uint8_t>(env.type));
  switch (env.type) {
    case EnvType::kDatabase:
    case EnvType::kLanguage:
    case EnvType::kPacketSize:
      body.BVarChar(env.new_text);
      body.BVarChar(env.old_text);
      break;
    default:
      body.U8(static_cast<uint8_t>(env.new_bytes.size()));
      body.Raw(env.new_bytes);
      body.U8(static_cast<uint8_t>(env.old_bytes.size()));
      body.Raw(env.old_bytes);
  }
  out.U8(kTokenEnvChange);
  out.U16(static_cast<uint16_t>(body.Size()));
  out.Raw(body.Data());
}

void EncodeDone(const DoneItem& done, bool more, ByteWriter& out) {
  uint16_t status = (more ? 0x01 : 0) | (done.error ? 0x02 : 0) | (done.in_transaction ? 0x04 : 0) |
                    (done.count ? 0x10 : 0) | (done.attention ? 0x20 : 0);
  out.U8(static_cast<uint8_t>(done.kind));
  out.U16(status);
  out.U16(done.command ? done.command : (done.count ? 0xC1 : 0));
  out.U64(static_cast<uint64_t>(done.rows));
}

void EncodeLoginAck(uint32_t tds_version, const std::string& program, ByteWriter& out) {
  auto units = Utf8ToUtf16(program);
  out.U8(kTokenLoginAck);
  // FreeTDS takes the program name's length from this total, not from its own length byte.
  out.U16(static_cast<uint16_t>(10 + 2 * units.size()));
  out.U8(1);  // interface: SQL
  out.U32BE(tds_version);
  out.BVarChar(program);
  out.U8(15);  // version 15.0.2000
  out.U8(0);
  out.U8(0x07);
  out.U8(0xD0);
}

void EncodeReply(const Reply& reply, const TokenContext& ctx, ByteWriter& out) {
  // The last DONE-family token is the one without DONE_MORE.
  size_t last_done = reply.items.size();
  for (size_t k = 0; k < reply.items.size(); ++k) {
    if (std::holds_alternative<DoneItem>(reply.items[k])) last_done = k;
  }
  for (size_t k = 0; k < reply.items.size(); ++k) {
    const ReplyItem& item = reply.items[k];
    if (auto* m = std::get_if<MessageItem>(&item)) {
      EncodeMessage(*m, ctx, out);
    } else if (auto* r = std::get_if<RowsItem>(&item)) {
      EncodeColMetadata(r->rows.columns, out);
      for (const auto& row : r->rows.rows) EncodeRow(r->rows.columns, row, out);
      if (r->in_procedure) {
        EncodeDone(DoneItem{DoneKind::kDoneInProc, true, static_cast<int64_t>(r->rows.rows.size()), false,
                            false, false, 0xC1},
                   true, out);
      }
    } else if (auto* e = std::get_if<EnvItem>(&item)) {
      EncodeEnvChange(*e, out);
    } else if (auto* s = std::get_if<ReturnStatusItem>(&item)) {
      out.U8(kTokenReturnStatus);
      out.U32(static_cast<uint32_t>(s->status));
    } else if (auto* rv = std::get_if<ReturnValueItem>(&item)) {
      out.U8(kTokenReturnValue);
      out.U16(rv->ordinal);
      out.BVarChar(rv->name);  // FreeTDS drops a value whose name is neither empty nor starts with "@"
      out.U8(0x01);
      out.U32(0);
      out.U16(0x0001);
      EncodeTypeInfo(rv->type, out);
      EncodeValue(rv->type, rv->value, out);
    } else if (auto* d = std::get_if<DoneItem>(&item)) {
      EncodeDone(*d, k != last_done, out);
    }
  }
}

Bytes EncodePreloginReply() {
  // Options: VERSION (6), ENCRYPTION (1), INSTOPT (1), THREADID (0), MARS (1), then 0xFF.
  const uint8_t options[][2] = {{0, 6}, {1, 1}, {2, 1}, {3, 0}, {4, 1}};
  ByteWriter w;
  uint16_t offset = 5 * 5 + 1;
  for (const auto& o : options) {
    w.U8(o[0]);
    w.U16BE(offset);
    w.U16BE(o[1]);
    offset = static_cast<uint16_t>(offset + o[1]);
  }
  w.U8(0xFF);
  w.U8(15);  // 15.0.2000, sub-build 0
  w.U8(0);
  w.U16BE(2000);
  w.U16BE(0);
  w.U8(0x02);  // ENCRYPT_NOT_SUP: the stand-in never negotiates TLS
  w.U8(0x00);
  w.U8(0x00);
  return w.Take();
}

}  // namespace standin
