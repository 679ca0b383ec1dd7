// Encrypted connections as SQL Server makes them for TDS 7.x: the client and the server agree on encryption
// in PRELOGIN, the TLS handshake travels inside PRELOGIN packets, and afterwards either only the LOGIN7
// packet or every packet in both directions is carried in TLS records straight on the socket.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "catalog/bytes.h"

struct ssl_ctx_st;
struct ssl_st;

namespace standin {

// The ENCRYPTION byte of PRELOGIN.
enum PreloginEncryption : uint8_t {
  kEncryptOff = 0x00,     // client: encrypt the login only; server: so be it
  kEncryptOn = 0x01,      // encrypt everything
  kEncryptNotSup = 0x02,  // no encryption at all
  kEncryptReq = 0x03,     // server: encryption is required
};

// What follows the PRELOGIN answer.
enum class EncryptionMode { kNone, kLoginOnly, kFull, kRefuse };

struct EncryptionChoice {
  uint8_t answer = kEncryptNotSup;  // the server's ENCRYPTION byte
  EncryptionMode mode = EncryptionMode::kNone;
};

// The server's answer to the client's ENCRYPTION byte. A server without a certificate never encrypts; one
// with a certificate encrypts the login of a client that offers nothing more, and everything for a client
// that asks for it; one that requires encryption encrypts everything and drops a client that cannot encrypt.
EncryptionChoice NegotiateEncryption(uint8_t client, bool have_certificate, bool required);

// The ENCRYPTION byte of a client's PRELOGIN payload (ENCRYPT_OFF when the option is missing).
uint8_t ClientEncryption(const Bytes& prelogin);

// The server's certificate and private key (PEM files), loaded once and shared by every connection. Throws
// std::runtime_error naming the file that cannot be used.
class TlsServerContext {
 public:
  TlsServerContext(const std::string& cert_file, const std::string& key_file, bool required);
  ~TlsServerContext();
  TlsServerContext(const TlsServerContext&) = delete;
  TlsServerContext& operator=(const TlsServerContext&) = delete;
  bool required() const { return required_; }
  ssl_ctx_st* native() const { return ctx_; }

 private:
  ssl_ctx_st* ctx_ = nullptr;
  bool required_ = false;
};

// The byte stream of one client connection: the plain socket, or TLS over it once a handshake has run.
class Channel {
 public:
  explicit Channel(int fd) : fd_(fd) {}
  ~Channel();
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // Reads exactly `n` bytes; false when the peer closed the connection or TLS failed.
  bool Read(uint8_t* buf, size_t n);
  // What has arrived, without waiting for more: kReady when the next `n` bytes of the stream are in and have
  // been copied to `buf` (they stay unread), kShort when they are not in yet, kGone when the client closed
  // the connection or TLS failed.
  enum class Peeked { kReady, kShort, kGone };
  Peeked PeekNow(uint8_t* buf, size_t n);
  // Writes all of `data`; false when the connection is gone.
  bool Write(const uint8_t* data, size_t n);

  using ReadMessageFn = std::function<bool(Bytes&)>;
  using SendMessageFn = std::function<void(const Bytes&)>;
  // Runs the server side of the handshake: each client message carries TLS records, each answer goes back
  // through `send` (as PRELOGIN packets). False when the handshake fails or the client leaves.
  bool Handshake(const TlsServerContext& context, const ReadMessageFn& read, const SendMessageFn& send);
  // Login-only encryption: TLS ends after the next packet the client sends (the LOGIN7 packet).
  void EndAfterNextPacket() { end_after_packet_ = true; }
  // To be called after each client packet has been read.
  void PacketRead();

 private:
  bool FlushTls();
  void EndTls();

  int fd_;
  ssl_st* ssl_ = nullptr;
  bool encrypted_ = false;
  bool end_after_packet_ = false;
  Bytes plain_;  // decrypted bytes not yet read
  size_t plain_pos_ = 0;
};

}  // namespace standin
