#include "tds_codec.h"

#include <cmath>
#include <cstring>

namespace standin {

const Bytes kCollation = {0x09, 0x04, 0xD0, 0x00, 0x34};

namespace {

enum TypeCode : uint8_t {
  kImage = 0x22,
  kText = 0x23,
  kGuid = 0x24,
  kIntN = 0x26,
  kDateN = 0x28,
  kTimeN = 0x29,
  kDateTime2N = 0x2A,
  kDateTimeOffsetN = 0x2B,
  kInt1 = 0x30,
  kBit = 0x32,
  kInt2 = 0x34,
  kInt4 = 0x38,
  kDateTim4 = 0x3A,
  kFlt4 = 0x3B,
  kMoney = 0x3C,
  kDateTime = 0x3D,
  kFlt8 = 0x3E,
  kNText = 0x63,
  kBitN = 0x68,
  kDecimalN = 0x6A,
  kNumericN = 0x6C,
  kFltN = 0x6D,
  kMoneyN = 0x6E,
  kDateTimeN = 0x6F,
  kMoney4 = 0x7A,
  kInt8 = 0x7F,
  kBigVarBinary = 0xA5,
  kBigVarChar = 0xA7,
  kBigBinary = 0xAD,
  kBigChar = 0xAF,
  kNVarChar = 0xE7,
  kNChar = 0xEF,
};

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

Login7 ParseLogin7(const Bytes& payload) {
  ByteReader in(payload);
  Login7 login;
  in.U32();  // total length
  login.tds_version = in.U32();
  login.packet_size = in.U32();
  in.Skip(12);
  in.U8();
  uint8_t flags2 = in.U8();
  login.integrated_security = (flags2 & 0x80) != 0;
  in.Skip(10);
  auto field = [&](bool password) {
    uint16_t offset = in.U16();
    uint16_t length = in.U16();
    if (length == 0) return std::string();
    if (static_cast<size_t>(offset) + length * 2u > payload.size())
      throw ProtocolError("LOGIN7 field past the end");
    std::u16string units;
    for (uint16_t k = 0; k < length; ++k) {
      uint8_t lo = payload[offset + 2 * k], hi = payload[offset + 2 * k + 1];
      if (password) {
        // The client swapped the nibbles of every byte and XORed it with 0xA5.
        lo ^= 0xA5;
        hi ^= 0xA5;
        lo = static_cast<uint8_t>((lo << 4) | (lo >> 4));
        hi = static_cast<uint8_t>((hi << 4) | (hi >> 4));
      }
      units.push_back(static_cast<char16_t>(lo | (hi << 8)));
    }
    return Utf16ToUtf8(units);
  };
  login.hostname = field(false);
  login.username = field(false);
  login.password = field(true);
  login.app_name = field(false);
  login.server_name = field(false);
  in.Skip(4);  // extension
  login.library = field(false);
  login.language = field(false);
  login.database = field(false);
  login.client_id = in.Raw(6);
  return login;
}

void SkipAllHeaders(ByteReader& in) {
  if (in.Remaining() < 4) return;
  size_t start = in.Pos();
  uint32_t total = in.U32();
  if (total < 4 || total > in.Remaining() + 4) throw ProtocolError("bad ALL_HEADERS length");
  in.Seek(start + total);
}

std::string ParseBatchText(const Bytes& payload) {
  ByteReader in(payload);
  SkipAllHeaders(in);
  return in.Utf16(in.Remaining() / 2);
}

namespace {

Value ReadInt(ByteReader& in, int n) {
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
  while (true) {
    uint32_t chunk = in.U32();
    if (chunk == 0) break;
    Bytes part = in.Raw(chunk);
    out.insert(out.end(), part.begin(), part.end());
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

}  // namespace

void DecodeTypedValue(ByteReader& in, SqlType& type, Value& value) {
  uint8_t code = in.U8();
  value = Value{};
  auto fixed_int = [&](const char* name, int n) {
    type = *ParseSqlType(name);
    value = ReadInt(in, n);
  };
  switch (code) {
    case kInt1:
      return fixed_int("tinyint", 1);
    case kInt2:
      return fixed_int("smallint", 2);
    case kInt4:
      return fixed_int("int", 4);
    case kInt8:
      return fixed_int("bigint", 8);
    case kBit:
      return fixed_int("bit", 1);
    case kIntN:
    case kBitN: {
      uint8_t size = in.U8();
      type = code == kBitN ? *ParseSqlType("bit")
                           : *ParseSqlType(size == 1   ? "tinyint"
                                           : size == 2 ? "smallint"
                                           : size == 4 ? "int"
                                                       : "bigint");
      uint8_t len = in.U8();
      if (len) value = ReadInt(in, len);
      return;
    }
    case kFlt4:
    case kFlt8:
    case kFltN: {
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
      return;
    }
    case kMoney:
    case kMoney4:
    case kMoneyN: {
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
      return;
    }
    case kDateTime:
    case kDateTim4:
    case kDateTimeN: {
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
      return;
    }
    case kDateN: {
      type = *ParseSqlType("datetime");
      uint8_t len = in.U8();
      if (len == 3) value = Value(DateTime{static_cast<int32_t>(ReadUnsigned(in, 3)) - kDaysTo1900, 0});
      return;
    }
    case kTimeN:
    case kDateTime2N:
    case kDateTimeOffsetN: {
      int scale = in.U8();
      type = *ParseSqlType("datetime");
      uint8_t len = in.U8();
      if (len == 0) return;
      uint64_t units = ReadUnsigned(in, TimeBytes(scale));
      int32_t days = kDaysTo1900 * 0;
      if (code != kTimeN) days = static_cast<int32_t>(ReadUnsigned(in, 3)) - kDaysTo1900;
      if (code == kDateTimeOffsetN) in.U16();
      value = Value(DateTime{days, TimeToTicks(units, scale)});
      return;
    }
    case kDecimalN:
    case kNumericN: {
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
      return;
    }
    case kGuid: {
      in.U8();
      type = NVarCharType(36);
      uint8_t len = in.U8();
      if (len == 16) {
        Bytes g = in.Raw(16);
        char buf[40];
        std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                      g[3], g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13],
                      g[14], g[15]);
        value = Value(std::string(buf));
      }
      return;
    }
    case kNVarChar:
    case kNChar:
    case kBigVarChar:
    case kBigChar:
    case kBigVarBinary:
    case kBigBinary: {
      uint16_t max = in.U16();
      bool binary = code == kBigVarBinary || code == kBigBinary;
      bool unicode = code == kNVarChar || code == kNChar;
      if (!binary) in.Skip(5);
      BaseType base = unicode  ? (code == kNChar ? BaseType::kNChar : BaseType::kNVarChar)
                      : binary ? (code == kBigBinary ? BaseType::kBinary : BaseType::kVarBinary)
                               : (code == kBigChar ? BaseType::kChar : BaseType::kVarChar);
      type = SqlType{};
      type.base = base;
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
      if (null) return;
      if (binary)
        value = Value(data);
      else if (unicode)
        value = Value(FromUtf16(data));
      else
        value = Value(Cp1252ToUtf8(data.data(), data.size()));
      return;
    }
    case kText:
    case kNText:
    case kImage: {
      in.U32();
      if (code != kImage) in.Skip(5);
      type = *ParseSqlType(code == kText    ? "varchar(max)"
                           : code == kNText ? "nvarchar(max)"
                                            : "varbinary(max)");
      uint32_t len = in.U32();
      if (len == 0xFFFFFFFF) return;
      Bytes data = in.Raw(len);
      if (code == kImage)
        value = Value(data);
      else if (code == kNText)
        value = Value(FromUtf16(data));
      else
        value = Value(Cp1252ToUtf8(data.data(), data.size()));
      return;
    }
    default:
      throw ProtocolError("unsupported parameter type " + std::to_string(code));
  }
}

std::string ProcNameForId(uint16_t id) {
  switch (id) {
    case 1:
      return "sp_cursor";
    case 2:
      return "sp_cursoropen";
    case 3:
      return "sp_cursorprepare";
    case 4:
      return "sp_cursorexecute";
    case 5:
      return "sp_cursorprepexec";
    case 6:
      return "sp_cursorunprepare";
    case 7:
      return "sp_cursorfetch";
    case 8:
      return "sp_cursoroption";
    case 9:
      return "sp_cursorclose";
    case 10:
      return "sp_executesql";
    case 11:
      return "sp_prepare";
    case 12:
      return "sp_execute";
    case 13:
      return "sp_prepexec";
    case 14:
      return "sp_prepexecrpc";
    case 15:
      return "sp_unprepare";
    default:
      return "sp_unknown_" + std::to_string(id);
  }
}

std::vector<RpcRequest> ParseRpc(const Bytes& payload) {
  ByteReader in(payload);
  SkipAllHeaders(in);
  std::vector<RpcRequest> out;
  while (!in.AtEnd()) {
    RpcRequest rpc;
    uint16_t name_len = in.U16();
    if (name_len == 0xFFFF) {
      rpc.proc_id = in.U16();
      rpc.name = ProcNameForId(rpc.proc_id);
    } else {
      rpc.name = in.Utf16(name_len);
    }
    in.U16();  // option flags
    while (!in.AtEnd() && in.Here()[0] != 0xFF && in.Here()[0] != 0x80) {
      RpcParam p;
      p.name = in.BVarChar();
      uint8_t status = in.U8();
      p.output = status & 0x01;
      p.is_default = status & 0x02;
      DecodeTypedValue(in, p.type, p.value);
      rpc.params.push_back(std::move(p));
    }
    out.push_back(std::move(rpc));
    if (!in.AtEnd()) in.U8();  // batch separator
  }
  return out;
}

TransactionRequest ParseTransactionRequest(const Bytes& payload) {
  ByteReader in(payload);
  SkipAllHeaders(in);
  TransactionRequest tm;
  tm.type = in.U16();
  if (tm.type == 7 || tm.type == 8) {
    in.Skip(in.U8() * 2u);  // transaction name, B_VARCHAR
    if (!in.AtEnd()) tm.begin_after = in.U8() & 0x01;
  }
  return tm;
}

}  // namespace standin
