#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// NatsServer: one real nats-server process for a test, on ports the server
// chose itself (port -1 in its configuration), listening on loopback only.
// The kit writes its configuration, starts it, reads its log from a pipe
// and takes the ports from the lines that announce them, so that a server
// counts as started once it has said it is ready; Kill ends it at once, as a
// crash would. Native (POSIX) only.
//
// Owned by one test; its log is read on a thread of its own.
class NatsServer {
 public:
  // `extraConfig` is added to the configuration as it is, e.g. an
  // authorization block. Null, with `error` set, when the server did not
  // become ready.
  static std::unique_ptr<NatsServer> Start(const std::string& extraConfig, std::string* error);
  ~NatsServer();
  NatsServer(const NatsServer&) = delete;
  NatsServer& operator=(const NatsServer&) = delete;

  void Kill();
  uint16_t ClientPort() const { return clientPort_; }
  uint16_t ClusterPort() const { return clusterPort_; }
  // "nats://[credentials@]127.0.0.1:port".
  std::string Url(const std::string& credentials = "") const;
  // True once at least `count` lines of the log contain `text`.
  bool WaitForLog(const std::string& text, size_t count, std::chrono::milliseconds timeout);
  // The log so far, for a failure's message.
  std::string LogText() const;

 private:
  NatsServer() = default;
  void ReadLog(int fd);
  size_t CountLines(const std::string& text) const;
  bool FindPort(const std::string& marker, uint16_t* port) const;

  pid_t pid_ = -1;
  std::string folder_;
  std::thread logReader_;
  mutable std::mutex mutex_;
  std::condition_variable logGrew_;
  std::vector<std::string> log_;
  bool logEnded_ = false;
  uint16_t clientPort_ = 0;
  uint16_t clusterPort_ = 0;
};

// `size` servers joined by routes into one cluster: all but the first are
// given the first's route address, and the cluster counts as formed once
// each server has logged a route to every other. Empty (and `error` set) on
// failure.
std::vector<std::unique_ptr<NatsServer>> StartNatsCluster(size_t size, std::string* error);
