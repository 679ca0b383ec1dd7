// One client connection: PRELOGIN, LOGIN7 against the catalogue's logins, then SQL batches, RPCs, transaction
// manager requests and ATTENTION until the client goes away. Faults (refused logins, dropped connections,
// latency, statements that hang until cancelled) are applied here.
#pragma once

#include <cstdint>
#include <string>

#include "catalog/bytes.h"
#include "engine/exec_context.h"
#include "wire/tds_codec.h"
#include "wire/tls.h"

namespace standin {

class Session {
 public:
  // `tls` is the server's certificate when it offers encryption, null when it does not.
  Session(ServerState& state, int fd, std::string peer, const TlsServerContext* tls = nullptr);
  // Serves the connection until the client disconnects, a fault drops it, or the socket is shut down.
  void Run();

 private:
  enum class ReadResult { kMessage, kClosed };
  ReadResult ReadMessage(uint8_t& type, uint8_t& status, Bytes& payload);
  void Send(const Bytes& payload, uint8_t type = kPacketReply);
  void SendReply(const Reply& reply);
  // Answers PRELOGIN and runs the TLS handshake when encryption was agreed; false when the connection must
  // end.
  bool Prelogin(const Bytes& payload);
  bool Login();
  bool FailLogin(const std::vector<MessageItem>& errors);
  // Logs the request and applies the faults; false when the connection must be dropped.
  bool Admit(const std::string& kind, const std::string& text, bool& hang);
  // Blocks until ATTENTION arrives; false when the client went away instead.
  bool WaitForAttention();
  void Batch(const Bytes& payload);
  void Rpc(const Bytes& payload);
  void Transaction(const Bytes& payload);
  void Attention();
  // Asked while a statement waits for a lock: true when ATTENTION arrived (it is read here) or the client
  // went away.
  bool Interrupted();
  // Sends the reply; a cancelled request is then acknowledged, and one whose client left ends the session.
  void Finish(const Reply& reply, bool cancelled);
  void Cleanup();

  ServerState& state_;
  int fd_;
  std::string peer_;
  SessionState session_;
  TokenContext tokens_;
  uint32_t packet_size_ = 4096;
  uint32_t tds_version_ = kTds74;
  uint8_t packet_id_ = 1;
  bool registered_ = false;
  bool client_gone_ = false;
  const TlsServerContext* tls_;
  Channel channel_;
};

}  // namespace standin
