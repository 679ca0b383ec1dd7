#include "wire/session.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "catalog/languages.h"
#include "engine/statement_registry.h"
#include "engine/transactions.h"

namespace standin {

namespace {

constexpr size_t kMaxRequestBytes = 256u << 20;

std::string HexAddress(const Bytes& mac) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : mac) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out;
}

std::string RenderArgs(const std::vector<RpcParam>& params) {
  std::string out;
  for (const auto& p : params) {
    if (!out.empty()) out += ",";
    out += " ";
    if (!p.name.empty()) out += p.name + "=";
    if (p.value.IsNull()) {
      out += "NULL";
    } else if (std::holds_alternative<std::string>(p.value.v)) {
      out += "N'" + p.value.ToText() + "'";
    } else {
      out += p.value.ToText();
    }
    if (p.output) out += " OUTPUT";
  }
  return out;
}

}  // namespace

Session::Session(ServerState& state, int fd, std::string peer, const TlsServerContext* tls)
    : state_(state), fd_(fd), peer_(std::move(peer)), tls_(tls), channel_(fd) {
  std::lock_guard lock(state_.mu);
  session_.connection = state_.NewConnectionId();
  tokens_.server_name = state_.catalog.server_name;
}

Session::ReadResult Session::ReadMessage(uint8_t& type, uint8_t& status, Bytes& payload) {
  payload.clear();
  while (true) {
    uint8_t header[8];
    if (!channel_.Read(header, 8)) return ReadResult::kClosed;
    type = header[0];
    status = header[1];
    size_t length = (header[2] << 8) | header[3];
    if (length < 8) return ReadResult::kClosed;
    size_t start = payload.size();
    if (start > kMaxRequestBytes) return ReadResult::kClosed;  // a request that never ends
    payload.resize(start + length - 8);
    if (!channel_.Read(payload.data() + start, length - 8)) return ReadResult::kClosed;
    channel_.PacketRead();
    if (status & 0x01) return ReadResult::kMessage;
  }
}

void Session::Send(const Bytes& payload, uint8_t type) {
  // Replies are split into packets of the negotiated size, each with the session's SPID in the header.
  const size_t chunk = packet_size_ - 8;
  size_t pos = 0;
  do {
    size_t n = std::min(chunk, payload.size() - pos);
    bool last = pos + n == payload.size();
    Bytes packet;
    packet.reserve(n + 8);
    packet.push_back(type);
    packet.push_back(last ? 0x01 : 0x00);
    packet.push_back(static_cast<uint8_t>((n + 8) >> 8));
    packet.push_back(static_cast<uint8_t>((n + 8) & 0xFF));
    packet.push_back(static_cast<uint8_t>(session_.spid >> 8));
    packet.push_back(static_cast<uint8_t>(session_.spid & 0xFF));
    packet.push_back(packet_id_++);
    packet.push_back(0);
    packet.insert(packet.end(), payload.begin() + static_cast<long>(pos),
                  payload.begin() + static_cast<long>(pos + n));
    if (!channel_.Write(packet.data(), packet.size())) return;
    pos += n;
  } while (pos < payload.size());
}

void Session::SendReply(const Reply& reply) {
  ByteWriter out;
  EncodeReply(reply, tokens_, out);
  Send(out.Data());
}

bool Session::FailLogin(const std::vector<MessageItem>& errors) {
  Reply reply;
  for (const auto& e : errors) reply.items.push_back(e);
  reply.items.push_back(DoneItem{DoneKind::kDone, false, 0, true, false, false, 0});
  SendReply(reply);
  return false;
}

bool Session::Prelogin(const Bytes& payload) {
  EncryptionChoice choice =
      NegotiateEncryption(ClientEncryption(payload), tls_ != nullptr, tls_ && tls_->required());
  Send(EncodePreloginReply(choice.answer));
  if (choice.mode == EncryptionMode::kRefuse) return false;
  if (choice.mode == EncryptionMode::kNone) return true;
  auto read = [this](Bytes& records) {
    uint8_t type = 0, status = 0;
    return ReadMessage(type, status, records) == ReadResult::kMessage && type == kPacketPrelogin;
  };
  auto send = [this](const Bytes& records) { Send(records, kPacketPrelogin); };
  if (!channel_.Handshake(*tls_, read, send)) return false;
  if (choice.mode == EncryptionMode::kLoginOnly) channel_.EndAfterNextPacket();
  std::lock_guard lock(state_.mu);
  state_.Record(LogEntry{0, session_.connection, 0, "", "", "encryption",
                         choice.mode == EncryptionMode::kFull ? "full" : "login"});
  return true;
}

bool Session::Login() {
  uint8_t type = 0, status = 0;
  Bytes payload;
  if (ReadMessage(type, status, payload) != ReadResult::kMessage) return false;
  if (type == kPacketPrelogin) {
    if (!Prelogin(payload)) return false;
    if (ReadMessage(type, status, payload) != ReadResult::kMessage) return false;
  } else if (tls_ && tls_->required()) {
    return false;  // a client without PRELOGIN cannot encrypt
  }
  if (type != kPacketLogin7) return false;
  Login7 login = ParseLogin7(payload);
  auto login_failed = [&](std::string user) {
    return MessageItem{true, 18456, 1, 14, "Login failed for user '" + user + "'.", "", 1};
  };
  if (login.tds_version < kTds72 || (login.tds_version >> 24) < 0x72) {
    // TDS 7.0 and 7.1 lack the 7.2 token widths the stand-in writes.
    return FailLogin({login_failed(login.username)});
  }
  tds_version_ = login.tds_version > kTds74 ? kTds74 : login.tds_version;
  packet_size_ = std::clamp<uint32_t>(login.packet_size, 512, 32767);

  Reply reply;
  {
    std::lock_guard lock(state_.mu);
    auto& catalog = state_.catalog;
    const LoginDef* def = catalog.FindLogin(login.username);
    if (state_.faults.refuse_logins || login.integrated_security || !def || def->disabled ||
        def->password != login.password) {
      return FailLogin({login_failed(login.username)});
    }
    std::string db_name = login.database.empty() ? def->default_database : login.database;
    Database* db = catalog.FindDatabase(db_name);
    if (!db || db->state == DbState::kOffline ||
        (db->single_user && state_.SessionsIn(db->name, session_.connection) > 0)) {
      return FailLogin(
          {MessageItem{true, 4060, 1, 11,
                       "Cannot open database \"" + db_name + "\" requested by the login. The login failed.",
                       "", 1},
           login_failed(def->name)});
    }
    session_.spid = state_.NewSpid();
    session_.login = def->name;
    // An empty language field means the login's default language, as the server reads the login packet.
    const LanguageDef* language =
        FindLanguage(login.language.empty() ? def->default_language : login.language);
    if (!language) language = FindLanguage(def->default_language);
    session_.language = language->name;
    session_.date_order = language->order;
    session_.database = db->name;
    LiveSession live;
    live.connection = session_.connection;
    live.spid = session_.spid;
    live.login = def->name;
    live.database = db->name;
    live.hostname = login.hostname;
    live.program_name = login.app_name;
    live.net_address = HexAddress(login.client_id);
    live.fd = fd_;
    state_.sessions[session_.connection] = live;
    registered_ = true;
    reply.items.push_back(EnvItem{EnvType::kDatabase, db->name, "master", {}, {}});
    reply.items.push_back(
        MessageItem{false, 5701, 2, 0, "Changed database context to '" + db->name + "'.", "", 1});
    reply.items.push_back(EnvItem{EnvType::kCollation, "", "", kCollation, {}});
    reply.items.push_back(EnvItem{EnvType::kLanguage, session_.language, "", {}, {}});
    reply.items.push_back(
        MessageItem{false, 5703, 1, 0, "Changed language setting to " + session_.language + ".", "", 1});
  }
  ByteWriter out;
  EncodeReply(reply, tokens_, out);
  EncodeLoginAck(tds_version_, "Microsoft SQL Server", out);
  EncodeEnvChange(
      EnvItem{EnvType::kPacketSize, std::to_string(packet_size_), std::to_string(packet_size_), {}, {}}, out);
  EncodeDone(DoneItem{}, false, out);
  uint32_t requested = packet_size_;
  packet_size_ = 4096;  // the login reply still travels in packets of the initial size
  Send(out.Data());
  packet_size_ = requested;
  return true;
}

bool Session::Admit(const std::string& kind, const std::string& text, bool& hang) {
  int latency = 0;
  bool drop = false;
  {
    std::lock_guard lock(state_.mu);
    state_.Record(
        LogEntry{0, session_.connection, session_.spid, session_.login, session_.database, kind, text});
    Faults& f = state_.faults;
    if (f.drop_after) {
      ++f.statements_seen;
      if (f.statements_seen == *f.drop_after) drop = true;
    }
    if (!f.drop_on.empty() && Lower(text).find(Lower(f.drop_on)) != std::string::npos) drop = true;
    hang = !f.hang_on.empty() && Lower(text).find(Lower(f.hang_on)) != std::string::npos;
    latency = f.latency_ms;
  }
  if (drop) return false;
  if (latency > 0) std::this_thread::sleep_for(std::chrono::milliseconds(latency));
  return true;
}

bool Session::WaitForAttention() {
  while (true) {
    uint8_t type = 0, status = 0;
    Bytes payload;
    if (ReadMessage(type, status, payload) != ReadResult::kMessage) return false;
    if (type == kPacketAttention) {
      Attention();
      return true;
    }
  }
}

void Session::Attention() {
  // Acknowledged even when the request had already been answered: the client waits for this DONE.
  Reply reply;
  reply.items.push_back(DoneItem{DoneKind::kDone, false, 0, false, true, false, 0});
  SendReply(reply);
}

bool Session::Interrupted() {
  // Read through the channel, so that an ATTENTION inside TLS records is seen as well as a plain one.
  uint8_t header[8];
  switch (channel_.PeekNow(header, sizeof header)) {
    case Channel::Peeked::kGone:
      client_gone_ = true;
      return true;
    case Channel::Peeked::kShort:
      return false;
    case Channel::Peeked::kReady:
      break;
  }
  if (header[0] != kPacketAttention) return false;
  return channel_.Read(header, sizeof header);  // the attention packet is a bare header
}

void Session::Finish(const Reply& reply, bool cancelled) {
  if (cancelled && client_gone_) throw ProtocolError("client left while its statement waited for a lock");
  SendReply(reply);
  if (cancelled) Attention();
}

void Session::Batch(const Bytes& payload) {
  std::string text = ParseBatchText(payload);
  bool hang = false;
  if (!Admit("batch", text, hang)) throw ProtocolError("connection dropped by fault");
  if (hang) {
    if (!WaitForAttention()) throw ProtocolError("client left during a hanging statement");
    return;
  }
  Reply reply;
  bool cancelled = false;
  {
    std::lock_guard lock(state_.mu);
    ExecContext ctx(state_, session_, reply);
    ctx.interrupted = [this] { return Interrupted(); };
    ExecuteText(ctx, text);
    cancelled = ctx.cancelled;
  }
  Finish(reply, cancelled);
}

void Session::Rpc(const Bytes& payload) {
  auto calls = ParseRpc(payload);
  std::string text;
  for (const auto& c : calls) {
    if (!text.empty()) text += "\n";
    bool has_statement = (c.name == "sp_executesql" || c.name == "sp_prepexec" || c.name == "sp_prepare");
    size_t stmt_index = c.name == "sp_executesql" ? 0 : 2;
    if (has_statement && c.params.size() > stmt_index) {
      text += c.params[stmt_index].value.ToText();
    } else {
      text += c.name + RenderArgs(c.params);
    }
  }
  bool hang = false;
  if (!Admit("rpc", text, hang)) throw ProtocolError("connection dropped by fault");
  if (hang) {
    if (!WaitForAttention()) throw ProtocolError("client left during a hanging statement");
    return;
  }
  Reply reply;
  bool cancelled = false;
  {
    std::lock_guard lock(state_.mu);
    for (const auto& c : calls) {
      ProcCall call;
      call.name = c.name;
      for (const auto& p : c.params)
        call.args.push_back(ProcArg{p.name, p.value, p.type, p.output, p.is_default});
      ExecContext ctx(state_, session_, reply);
      ctx.interrupted = [this] { return Interrupted(); };
      Builtins().Call(ctx, call);
      cancelled = ctx.cancelled;
      if (cancelled) break;
    }
  }
  Finish(reply, cancelled);
}

void Session::Transaction(const Bytes& payload) {
  TransactionRequest tm = ParseTransactionRequest(payload);
  static const char* kNames[] = {"", "", "", "", "", "BEGIN", "", "COMMIT", "ROLLBACK", "SAVE"};
  std::string text =
      std::string("TM ") + (tm.type < 10 ? kNames[tm.type] : "?") + (tm.begin_after ? " +BEGIN" : "");
  bool hang = false;
  if (!Admit("tm", text, hang)) throw ProtocolError("connection dropped by fault");
  Reply reply;
  {
    std::lock_guard lock(state_.mu);
    ExecContext ctx(state_, session_, reply);
    if (tm.type == 5) BeginTransaction(ctx);
    if (tm.type == 7) CommitTransaction(ctx);
    if (tm.type == 8) RollbackTransaction(ctx);
    if ((tm.type == 7 || tm.type == 8) && tm.begin_after) BeginTransaction(ctx);
    reply.items.push_back(DoneItem{DoneKind::kDone, false, 0, ctx.failed, false, session_.trancount > 0, 0});
  }
  SendReply(reply);
}

void Session::Cleanup() {
  std::lock_guard lock(state_.mu);
  RollbackOnDisconnect(state_, session_);
  if (registered_) state_.sessions.erase(session_.connection);
}

void Session::Run() {
  try {
    if (Login()) {
      while (true) {
        uint8_t type = 0, status = 0;
        Bytes payload;
        if (ReadMessage(type, status, payload) != ReadResult::kMessage) break;
        if (status & 0x02) continue;  // the client asked us to ignore this message
        if (type == kPacketBatch) {
          Batch(payload);
        } else if (type == kPacketRpc) {
          Rpc(payload);
        } else if (type == kPacketTransaction) {
          Transaction(payload);
        } else if (type == kPacketAttention) {
          Attention();
        } else {
          break;
        }
      }
    }
  } catch (const std::exception&) {
    // A malformed request or a fault ends the connection, as a protocol error ends it on the server.
  }
  Cleanup();
  ::shutdown(fd_, SHUT_RDWR);  // the server closes the descriptor once this thread has ended
}

}  // namespace standin
