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

}  // namespace

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

Bytes EncodePreloginReply(uint8_t encryption) {
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
  w.U8(encryption);
  w.U8(0x00);
  w.U8(0x00);
  return w.Take();
}

}  // namespace standin
