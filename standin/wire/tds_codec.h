// TDS 7.2-7.4 encoding of the stand-in's replies (tokens and typed values) and decoding of client requests
// (PRELOGIN, LOGIN7, SQL batch, RPC and transaction manager requests).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalog/bytes.h"
#include "engine/reply.h"

namespace standin {

enum PacketType : uint8_t {
  kPacketBatch = 1,
  kPacketRpc = 3,
  kPacketReply = 4,
  kPacketAttention = 6,
  kPacketTransaction = 14,
  kPacketLogin7 = 16,
  kPacketSspi = 17,
  kPacketPrelogin = 18,
};

constexpr uint32_t kTds72 = 0x72090002;
constexpr uint32_t kTds73A = 0x730A0003;
constexpr uint32_t kTds73B = 0x730B0003;
constexpr uint32_t kTds74 = 0x74000004;

// The collation announced at login and sent with every character column: Latin1_General_CI_AS (LCID 0x0409,
// case-insensitive, sort id 52), which makes FreeTDS read varchar data as CP1252.
extern const Bytes kCollation;

struct TokenContext {
  std::string server_name = "STANDIN";
};

// Appends the tokens for `reply`; every DONE-family token but the last carries DONE_MORE.
void EncodeReply(const Reply& reply, const TokenContext& ctx, ByteWriter& out);
void EncodeMessage(const MessageItem& m, const TokenContext& ctx, ByteWriter& out);
void EncodeEnvChange(const EnvItem& env, ByteWriter& out);
void EncodeDone(const DoneItem& done, bool more, ByteWriter& out);
void EncodeLoginAck(uint32_t tds_version, const std::string& program, ByteWriter& out);
void EncodeColMetadata(const std::vector<ResultColumn>& columns, ByteWriter& out);
void EncodeRow(const std::vector<ResultColumn>& columns, const std::vector<Value>& row, ByteWriter& out);
void EncodeTypeInfo(const SqlType& type, ByteWriter& out);
void EncodeValue(const SqlType& type, const Value& value, ByteWriter& out);

// The PRELOGIN answer: version, the ENCRYPTION byte (0x02: not supported), no instance, no MARS.
Bytes EncodePreloginReply(uint8_t encryption = 0x02);

struct Login7 {
  uint32_t tds_version = 0;
  uint32_t packet_size = 4096;
  std::string hostname, username, password, app_name, server_name, library, language, database;
  Bytes client_id;  // the client's MAC address, shown as net_address
  bool integrated_security = false;
};
Login7 ParseLogin7(const Bytes& payload);

// Skips ALL_HEADERS at the start of a batch, RPC or transaction manager request.
void SkipAllHeaders(ByteReader& in);
std::string ParseBatchText(const Bytes& payload);

struct RpcParam {
  std::string name;
  bool output = false;
  bool is_default = false;
  SqlType type;
  Value value;
};

struct RpcRequest {
  std::string name;      // for calls by name
  uint16_t proc_id = 0;  // for calls by id (sp_executesql is 10)
  std::vector<RpcParam> params;
};
// One or more calls, separated by 0xFF (or 0x80) in one message.
std::vector<RpcRequest> ParseRpc(const Bytes& payload);
// The procedure name behind a well-known RPC id.
std::string ProcNameForId(uint16_t id);

struct TransactionRequest {
  uint16_t type = 0;  // 5 begin, 7 commit, 8 rollback, 9 save
  bool begin_after = false;
};
TransactionRequest ParseTransactionRequest(const Bytes& payload);

// Reads a typed value as an RPC parameter carries it: TYPE_INFO then the value.
void DecodeTypedValue(ByteReader& in, SqlType& type, Value& value);

}  // namespace standin
