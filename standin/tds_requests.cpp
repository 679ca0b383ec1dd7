// Decoding of client requests: LOGIN7, SQL batch, RPC with typed parameters, transaction manager requests.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tds_codec.h"
#include "tds_types.h"

namespace standin {

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
