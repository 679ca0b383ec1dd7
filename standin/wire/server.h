// The stand-in's listeners: the TDS port (a thread per client connection) and the control channel, a line
// protocol for tests and benchmarks (LOG, STATE, FAULT, RESET; see standin/README.md).
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "catalog/server_state.h"

namespace standin {

class Listener {
 public:
  using Handler = std::function<void(int fd)>;
  Listener(std::string name, Handler handler) : name_(std::move(name)), handler_(std::move(handler)) {}
  ~Listener() { Stop(); }
  // Binds 127.0.0.1:`port` (0 picks a free port) and starts accepting; returns the bound port.
  int Start(int port);
  // Stops accepting, shuts every open connection down and waits for their threads.
  void Stop();

 private:
  struct Connection {
    int fd = -1;
    std::thread thread;
    std::atomic<bool> done{false};
  };
  void AcceptLoop();
  void Reap(bool all);

  std::string name_;
  Handler handler_;
  int listen_fd_ = -1;
  std::thread accept_thread_;
  std::atomic<bool> stopping_{false};
  std::mutex mu_;
  std::list<std::unique_ptr<Connection>> connections_;
};

// Answers one control command line; the reply is one line starting with "OK" or "ERR".
std::string ControlCommand(ServerState& state, const std::string& line);
// Serves control commands on `fd` until the peer closes it.
void ServeControl(ServerState& state, int fd);

}  // namespace standin
