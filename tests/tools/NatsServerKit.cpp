#include "NatsServerKit.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace {
constexpr auto kStartTime = std::chrono::seconds(20);
constexpr char kClientMarker[] = "Listening for client connections on 127.0.0.1:";
constexpr char kClusterMarker[] = "Listening for route connections on 127.0.0.1:";

std::string BaseConfig() {
  return "host: 127.0.0.1\nport: -1\n";
}
}  // namespace

std::unique_ptr<NatsServer> NatsServer::Start(const std::string& extraConfig, std::string* error) {
  std::unique_ptr<NatsServer> server(new NatsServer);
  char folder[] = "/tmp/zk-nats.XXXXXX";
  if (!mkdtemp(folder)) {
    *error = "no temporary folder";
    return nullptr;
  }
  server->folder_ = folder;
  const std::string config = server->folder_ + "/server.conf";
  std::ofstream(config) << BaseConfig() << extraConfig << "\n";
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    *error = "no pipe";
    return nullptr;
  }
  server->pid_ = fork();
  if (server->pid_ == 0) {
    dup2(pipeEnds[1], 1);
    dup2(pipeEnds[1], 2);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    execlp("nats-server", "nats-server", "-c", config.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeEnds[1]);
  server->logReader_ = std::thread([s = server.get(), fd = pipeEnds[0]] { s->ReadLog(fd); });
  if (!server->WaitForLog("Server is ready", 1, kStartTime) || !server->FindPort(kClientMarker, &server->clientPort_)) {
    *error = "nats-server did not become ready (is the nats-server package installed?)";
    return nullptr;
  }
  // The route listener may open after the server has said it is ready.
  const bool clustered = extraConfig.find("cluster") != std::string::npos;
  if (clustered && (!server->WaitForLog(kClusterMarker, 1, kStartTime) ||
                    !server->FindPort(kClusterMarker, &server->clusterPort_))) {
    *error = "nats-server did not open its route listener";
    return nullptr;
  }
  return server;
}

NatsServer::~NatsServer() {
  Kill();
  if (logReader_.joinable()) logReader_.join();
  if (!folder_.empty()) {
    std::remove((folder_ + "/server.conf").c_str());
    rmdir(folder_.c_str());
  }
}

void NatsServer::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::string NatsServer::Url(const std::string& credentials) const {
  return "nats://" + (credentials.empty() ? "" : credentials + "@") + "127.0.0.1:" + std::to_string(clientPort_);
}

bool NatsServer::WaitForLog(const std::string& text, size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return logGrew_.wait_for(lock, timeout, [&] { return logEnded_ || CountLines(text) >= count; }) &&
         CountLines(text) >= count;
}

std::string NatsServer::LogText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string text;
  for (const std::string& line : log_) text += line + "\n";
  return text;
}

void NatsServer::ReadLog(int fd) {
  std::string partial;
  char buffer[4096];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) {
    partial.append(buffer, static_cast<size_t>(got));
    size_t newline;
    std::lock_guard<std::mutex> lock(mutex_);
    while ((newline = partial.find('\n')) != std::string::npos) {
      log_.push_back(partial.substr(0, newline));
      partial.erase(0, newline + 1);
    }
    logGrew_.notify_all();
  }
  close(fd);
  std::lock_guard<std::mutex> lock(mutex_);
  logEnded_ = true;
  logGrew_.notify_all();
}

size_t NatsServer::CountLines(const std::string& text) const {
  size_t count = 0;
  for (const std::string& line : log_) count += line.find(text) != std::string::npos;
  return count;
}

bool NatsServer::FindPort(const std::string& marker, uint16_t* port) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const std::string& line : log_) {
    size_t at = line.find(marker);
    if (at == std::string::npos) continue;
    *port = static_cast<uint16_t>(std::stoi(line.substr(at + marker.size())));
    return true;
  }
  return false;
}

std::vector<std::unique_ptr<NatsServer>> StartNatsCluster(size_t size, std::string* error) {
  const std::string cluster = "cluster { name: zk\n listen: \"127.0.0.1:-1\"\n";
  std::vector<std::unique_ptr<NatsServer>> servers;
  servers.push_back(NatsServer::Start(cluster + "}", error));
  if (!servers[0]) return {};
  const std::string seed = "nats://127.0.0.1:" + std::to_string(servers[0]->ClusterPort());
  while (servers.size() < size) {
    servers.push_back(NatsServer::Start(cluster + " routes: [\"" + seed + "\"]\n}", error));
    if (!servers.back()) return {};
  }
  for (auto& server : servers) {
    if (!server->WaitForLog("Route connection created", size - 1, kStartTime)) {
      *error = "the cluster's routes did not form: " + server->LogText();
      return {};
    }
  }
  return servers;
}
