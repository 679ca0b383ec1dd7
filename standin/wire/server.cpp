#include "wire/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "catalog/scenario.h"
#include "catalog/security_state.h"

namespace standin {

using nlohmann::json;

int Listener::Start(int port) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (listen_fd_ < 0) throw std::runtime_error("socket() failed");
  int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    throw std::runtime_error(name_ + ": cannot bind 127.0.0.1:" + std::to_string(port));
  }
  if (::listen(listen_fd_, 64) != 0) throw std::runtime_error(name_ + ": listen() failed");
  socklen_t len = sizeof addr;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  accept_thread_ = std::thread([this] { AcceptLoop(); });
  return ntohs(addr.sin_port);
}

void Listener::AcceptLoop() {
  while (!stopping_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 200) <= 0) {
      Reap(false);
      continue;
    }
    if (stopping_) break;
    int fd = ::accept(listen_fd_, nullptr, nullptr);
    if (fd < 0) continue;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard lock(mu_);
    auto conn = std::make_unique<Connection>();
    conn->fd = fd;
    Connection* raw = conn.get();
    conn->thread = std::thread([this, raw] {
      handler_(raw->fd);
      raw->done = true;
    });
    connections_.push_back(std::move(conn));
  }
}

void Listener::Reap(bool all) {
  std::lock_guard lock(mu_);
  for (auto it = connections_.begin(); it != connections_.end();) {
    Connection& c = **it;
    if (all) ::shutdown(c.fd, SHUT_RDWR);
    if (all || c.done) {
      if (c.thread.joinable()) c.thread.join();
      ::close(c.fd);
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

void Listener::Stop() {
  if (listen_fd_ < 0) return;
  stopping_ = true;
  ::shutdown(listen_fd_, SHUT_RDWR);  // wakes the accept loop's poll at once
  if (accept_thread_.joinable()) accept_thread_.join();
  ::close(listen_fd_);
  listen_fd_ = -1;
  Reap(true);
}

namespace {

std::string Ok(const json& j) {
  return "OK " + j.dump(-1, ' ', false, json::error_handler_t::replace);
}

json LogJson(const std::vector<LogEntry>& log, int64_t since) {
  json out = json::array();
  for (const auto& e : log) {
    if (e.seq <= since) continue;
    out.push_back({{"seq", e.seq},
                   {"connection", e.connection},
                   {"spid", e.spid},
                   {"login", e.login},
                   {"database", e.database},
                   {"kind", e.kind},
                   {"text", e.text}});
  }
  return out;
}

// "FAULT <name> [argument]" in words, or "FAULT {json}".
json FaultJson(const std::string& rest) {
  std::string r = Trim(rest);
  if (r.starts_with("{")) return json::parse(r);
  std::string name = Lower(r.substr(0, r.find(' ')));
  std::string arg = r.find(' ') == std::string::npos ? "" : Trim(r.substr(r.find(' ') + 1));
  if (name == "refuse_logins") return {{"refuse_logins", arg != "off"}};
  if (name == "offline") return {{"offline", {arg}}};
  if (name == "online") return {{"online", {arg}}};
  if (name == "drop_after") return {{"drop_after", std::stoll(arg)}};
  if (name == "drop_on") return {{"drop_on", arg}};
  if (name == "latency") return {{"latency_ms", std::stoi(arg)}};
  if (name == "hang_on") return {{"hang_on", arg}};
  if (name == "clear") {
    return {{"refuse_logins", false},
            {"drop_after", nullptr},
            {"drop_on", ""},
            {"latency_ms", 0},
            {"hang_on", ""}};
  }
  throw std::invalid_argument("unknown fault '" + name + "'");
}

}  // namespace

std::string ControlCommand(ServerState& state, const std::string& raw_line) {
  std::string line = Trim(raw_line);
  std::string verb = Lower(line.substr(0, line.find(' ')));
  std::string rest = line.find(' ') == std::string::npos ? "" : Trim(line.substr(line.find(' ') + 1));
  std::lock_guard lock(state.mu);
  try {
    if (verb == "ping") return "OK pong";
    if (verb == "log") {
      if (NamesEqual(rest, "clear")) {
        state.log.clear();
        return "OK";
      }
      int64_t since = 0;
      if (Lower(rest).starts_with("since ")) since = std::stoll(rest.substr(6));
      return Ok(LogJson(state.log, since));
    }
    if (verb == "state") {
      bool rows = false;
      std::string name = rest;
      if (Lower(rest).ends_with(" rows")) {
        rows = true;
        name = Trim(rest.substr(0, rest.size() - 5));
      }
      Database* db = state.catalog.FindDatabase(name);
      if (!db) return "ERR no database '" + name + "'";
      return Ok(DatabaseState(*db, rows));
    }
    if (verb == "security") return Ok(SecurityState(state.catalog));
    if (verb == "databases") {
      json names = json::array();
      for (const auto& d : state.catalog.databases) names.push_back(d.name);
      return Ok(names);
    }
    if (verb == "sessions") {
      json out = json::array();
      for (const auto& [id, s] : state.sessions) {
        out.push_back({{"connection", id},
                       {"spid", s.spid},
                       {"login", s.login},
                       {"database", s.database},
                       {"hostname", s.hostname}});
      }
      return Ok(out);
    }
    if (verb == "fault") {
      ApplyFaults(FaultJson(rest), state.faults, state.catalog);
      return "OK";
    }
    if (verb == "reset") {
      state.Reset();
      return "OK";
    }
    return "ERR unknown command '" + verb + "'";
  } catch (const std::exception& e) {
    return std::string("ERR ") + e.what();
  }
}

void ServeControl(ServerState& state, int fd) {
  std::string buffer;
  char chunk[4096];
  while (true) {
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return;
    buffer.append(chunk, static_cast<size_t>(n));
    size_t nl;
    while ((nl = buffer.find('\n')) != std::string::npos) {
      std::string line = buffer.substr(0, nl);
      buffer.erase(0, nl + 1);
      if (Trim(line).empty()) continue;
      std::string reply = ControlCommand(state, line) + "\n";
      size_t sent = 0;
      while (sent < reply.size()) {
        ssize_t w = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (w <= 0) return;
        sent += static_cast<size_t>(w);
      }
    }
  }
}

}  // namespace standin
