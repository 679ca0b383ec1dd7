#include "wire/tls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace standin {

namespace {

std::string OpenSslError() {
  unsigned long code = ERR_get_error();
  if (code == 0) return "unknown error";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return text;
}

bool SendAll(int fd, const uint8_t* data, size_t n) {
  size_t sent = 0;
  while (sent < n) {
    ssize_t w = ::send(fd, data + sent, n - sent, MSG_NOSIGNAL);
    if (w <= 0) return false;
    sent += static_cast<size_t>(w);
  }
  return true;
}

Bytes Drain(BIO* bio) {
  Bytes out(BIO_ctrl_pending(bio));
  if (!out.empty()) {
    int n = BIO_read(bio, out.data(), static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  }
  return out;
}

}  // namespace

EncryptionChoice NegotiateEncryption(uint8_t client, bool have_certificate, bool required) {
  // Without a certificate the answer is always "not supported"; a client that insists gives up by itself.
  if (!have_certificate) return {kEncryptNotSup, EncryptionMode::kNone};
  if (client == kEncryptNotSup) {
    // SQL Server forcing encryption answers ENCRYPT_REQ and closes the connection of a client that cannot
    // encrypt.
    return required ? EncryptionChoice{kEncryptReq, EncryptionMode::kRefuse}
                    : EncryptionChoice{kEncryptNotSup, EncryptionMode::kNone};
  }
  if (client == kEncryptOn || client == kEncryptReq) return {kEncryptOn, EncryptionMode::kFull};
  // The client would encrypt the login only: a server that requires encryption asks for everything instead.
  return required ? EncryptionChoice{kEncryptReq, EncryptionMode::kFull}
                  : EncryptionChoice{kEncryptOff, EncryptionMode::kLoginOnly};
}

uint8_t ClientEncryption(const Bytes& prelogin) {
  for (size_t i = 0; i + 5 <= prelogin.size() && prelogin[i] != 0xFF; i += 5) {
    size_t offset = (prelogin[i + 1] << 8) | prelogin[i + 2];
    size_t length = (prelogin[i + 3] << 8) | prelogin[i + 4];
    if (prelogin[i] == 1 && length >= 1 && offset < prelogin.size()) return prelogin[offset];
  }
  return kEncryptOff;
}

TlsServerContext::TlsServerContext(const std::string& cert_file, const std::string& key_file, bool required)
    : required_(required) {
  ctx_ = SSL_CTX_new(TLS_server_method());
  if (!ctx_) throw std::runtime_error("cannot set up TLS: " + OpenSslError());
  // TLS 1.2, as SQL Server speaks it inside TDS 7.x; FreeTDS 1.3 leaves the last flight of a TLS 1.3 client
  // handshake unsent until its login, so that version cannot be offered here.
  SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(ctx_, TLS1_2_VERSION);
  SSL_CTX_set_options(ctx_, SSL_OP_NO_TICKET);
  if (SSL_CTX_use_certificate_chain_file(ctx_, cert_file.c_str()) != 1) {
    std::string why = OpenSslError();
    SSL_CTX_free(ctx_);
    throw std::runtime_error("cannot use certificate " + cert_file + ": " + why);
  }
  if (SSL_CTX_use_PrivateKey_file(ctx_, key_file.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_check_private_key(ctx_) != 1) {
    std::string why = OpenSslError();
    SSL_CTX_free(ctx_);
    throw std::runtime_error("cannot use private key " + key_file + ": " + why);
  }
}

TlsServerContext::~TlsServerContext() {
  SSL_CTX_free(ctx_);
}

Channel::~Channel() {
  EndTls();
}

void Channel::EndTls() {
  if (ssl_) SSL_free(ssl_);  // frees both memory BIOs too
  ssl_ = nullptr;
  encrypted_ = false;
}

bool Channel::FlushTls() {
  Bytes out = Drain(SSL_get_wbio(ssl_));
  return out.empty() || SendAll(fd_, out.data(), out.size());
}

bool Channel::Read(uint8_t* buf, size_t n) {
  if (n == 0) return true;  // an empty message body: nothing to read, and no buffer behind it
  while (plain_.size() - plain_pos_ < n) {
    if (plain_pos_ > 0) {
      plain_.erase(plain_.begin(), plain_.begin() + static_cast<long>(plain_pos_));
      plain_pos_ = 0;
    }
    uint8_t chunk[16384];
    if (!encrypted_) {
      // Plain reads go straight into the caller's buffer once nothing decrypted is left over.
      if (plain_.empty()) {
        size_t got = 0;
        while (got < n) {
          ssize_t r = ::recv(fd_, buf + got, n - got, 0);
          if (r <= 0) return false;
          got += static_cast<size_t>(r);
        }
        return true;
      }
      ssize_t r = ::recv(fd_, chunk, sizeof chunk, 0);
      if (r <= 0) return false;
      plain_.insert(plain_.end(), chunk, chunk + r);
      continue;
    }
    int r = SSL_read(ssl_, chunk, sizeof chunk);
    if (r > 0) {
      plain_.insert(plain_.end(), chunk, chunk + r);
      continue;
    }
    int err = SSL_get_error(ssl_, r);
    if (!FlushTls() || err != SSL_ERROR_WANT_READ) return false;
    ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
    if (got <= 0) return false;
    BIO_write(SSL_get_rbio(ssl_), chunk, static_cast<int>(got));
  }
  std::memcpy(buf, plain_.data() + plain_pos_, n);
  plain_pos_ += n;
  return true;
}

Channel::Peeked Channel::PeekNow(uint8_t* buf, size_t n) {
  uint8_t chunk[16384];
  while (plain_.size() - plain_pos_ < n) {
    const ssize_t got = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
    if (got == 0) return Peeked::kGone;
    if (got < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return Peeked::kShort;
      return Peeked::kGone;
    }
    if (!encrypted_) {
      plain_.insert(plain_.end(), chunk, chunk + got);
      continue;
    }
    // Records are decrypted as far as they are whole; a record cut short waits in the BIO for the rest.
    BIO_write(SSL_get_rbio(ssl_), chunk, static_cast<int>(got));
    while (true) {
      const int r = SSL_read(ssl_, chunk, sizeof chunk);
      if (r > 0) {
        plain_.insert(plain_.end(), chunk, chunk + r);
        continue;
      }
      const int err = SSL_get_error(ssl_, r);
      if (!FlushTls() || err != SSL_ERROR_WANT_READ) return Peeked::kGone;
      break;
    }
  }
  std::memcpy(buf, plain_.data() + plain_pos_, n);
  return Peeked::kReady;
}

bool Channel::Write(const uint8_t* data, size_t n) {
  if (!encrypted_) return SendAll(fd_, data, n);
  // A memory BIO takes everything at once, so SSL_write never comes back asking to retry.
  if (n > 0 && SSL_write(ssl_, data, static_cast<int>(n)) <= 0) return false;
  return FlushTls();
}

bool Channel::Handshake(const TlsServerContext& context, const ReadMessageFn& read,
                        const SendMessageFn& send) {
  EndTls();
  ssl_ = SSL_new(context.native());
  if (!ssl_) return false;
  SSL_set_bio(ssl_, BIO_new(BIO_s_mem()), BIO_new(BIO_s_mem()));
  SSL_set_accept_state(ssl_);
  while (true) {
    Bytes records;
    if (!read(records)) return false;
    BIO_write(SSL_get_rbio(ssl_), records.data(), static_cast<int>(records.size()));
    int r = SSL_do_handshake(ssl_);
    Bytes answer = Drain(SSL_get_wbio(ssl_));
    if (!answer.empty()) send(answer);  // also carries the alert of a failed handshake
    if (r == 1) {
      encrypted_ = true;
      return true;
    }
    if (SSL_get_error(ssl_, r) != SSL_ERROR_WANT_READ) {
      ERR_clear_error();
      EndTls();
      return false;
    }
  }
}

void Channel::PacketRead() {
  if (end_after_packet_ && encrypted_) EndTls();
  end_after_packet_ = false;
}

}  // namespace standin
