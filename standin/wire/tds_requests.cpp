// Decoding of client requests: LOGIN7, SQL batch, RPC with typed parameters, transaction manager requests.

#include "wire/tds_codec.h"
#include "wire/tds_types.h"

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
