#include "NatsTransport.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "PosixSocket.h"

namespace {
// How often the wait for the connection looks at the cancel flag.
constexpr int kCheckMs = 50;

int MsUntil(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, kCheckMs));
}

// 0 once connected, else the errno of the failure (ETIMEDOUT or ECANCELED
// when the wait ended first).
int AwaitConnected(int handle, std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& cancel) {
  for (;;) {
    if (cancel) return ECANCELED;
    if (std::chrono::steady_clock::now() >= deadline) return ETIMEDOUT;
    pollfd entry = {handle, POLLOUT, 0};
    if (poll(&entry, 1, MsUntil(deadline)) <= 0) continue;
    int failure = 0;
    socklen_t length = sizeof failure;
    if (getsockopt(handle, SOL_SOCKET, SO_ERROR, &failure, &length) != 0) return errno;
    return failure;
  }
}
}  // namespace

std::unique_ptr<ByteStream> ConnectNatsTransport(const std::string& host, uint16_t port,
                                                 std::chrono::steady_clock::time_point deadline,
                                                 const std::atomic<bool>& cancel, std::string* error) {
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int lookup = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (lookup != 0 || !found) {
    *error = "resolving " + host + " failed: " + gai_strerror(lookup);
    return nullptr;
  }
  // The socket object owns the handle from the start; the handle itself
  // serves the calls that the object does not offer.
  const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  auto socket = std::make_unique<PosixSocket>(handle);
  int failure = socket->IsOpen() ? 0 : errno;
  if (failure == 0 && connect(handle, found->ai_addr, found->ai_addrlen) != 0)
    failure = errno == EINPROGRESS ? AwaitConnected(handle, deadline, cancel) : errno;
  freeaddrinfo(found);
  if (failure != 0) {
    *error = "connecting failed: " + std::string(failure == ETIMEDOUT ? "no answer in time" : std::strerror(failure));
    return nullptr;
  }
  // Commands are small and each is answered: sent at once, not held back.
  int on = 1;
  setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return socket;
}
