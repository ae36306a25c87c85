#include "PosixSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <utility>

namespace {
std::string LastError(const char* step) { return std::string(step) + " failed: " + std::strerror(errno); }

bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

// A link's writes are small and answered: held back until the previous one
// is acknowledged, each would wait out the peer's delayed acknowledgement
// (two such waits made a TLS handshake on loopback 100 ms instead of 16 ms).
void SendAtOnce(int handle) {
  int on = 1;
  setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}
}  // namespace

PosixSocket::PosixSocket(int handle) : handle_(handle) {
  if (handle_ >= 0) interrupted_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

PosixSocket::PosixSocket(PosixSocket&& other) noexcept { *this = std::move(other); }

PosixSocket& PosixSocket::operator=(PosixSocket&& other) noexcept {
  if (this != &other) {
    Close();
    std::swap(handle_, other.handle_);
    std::swap(interrupted_, other.interrupted_);
  }
  return *this;
}

PosixSocket PosixSocket::Listen(uint16_t port, std::string* error) {
  PosixSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!socket.IsOpen()) {
    *error = LastError("socket");
    return socket;
  }
  int reuse = 1;
  setsockopt(socket.handle_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (bind(socket.handle_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    *error = LastError("bind");
    socket.Close();
  } else if (listen(socket.handle_, SOMAXCONN) != 0) {
    *error = LastError("listen");
    socket.Close();
  } else {
    socket.MakeNonBlocking();
  }
  return socket;
}

PosixSocket PosixSocket::Connect(const std::string& host, uint16_t port, std::string* error) {
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  int lookup = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (lookup != 0 || !found) {
    *error = "resolving " + host + " failed: " + gai_strerror(lookup);
    return PosixSocket();
  }
  PosixSocket socket(::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol));
  if (!socket.IsOpen()) {
    *error = LastError("socket");
  } else if (connect(socket.handle_, found->ai_addr, found->ai_addrlen) != 0) {
    *error = LastError("connect");
    socket.Close();
  } else {
    socket.MakeNonBlocking();
    SendAtOnce(socket.handle_);
  }
  freeaddrinfo(found);
  return socket;
}

uint16_t PosixSocket::LocalPort() const {
  sockaddr_in address = {};
  socklen_t length = sizeof address;
  if (getsockname(handle_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

PosixSocket PosixSocket::Accept(const std::atomic<bool>& cancel) {
  while (!cancel) {
    PosixSocket peer(accept4(handle_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (peer.IsOpen()) {
      SendAtOnce(peer.handle_);
      return peer;
    }
    if (!WouldBlock()) break;
    WaitReadable(kIdleLookMs);
  }
  return PosixSocket();
}

int PosixSocket::TrySend(const uint8_t* data, size_t length) {
  // A peer that is gone fails the call rather than raising SIGPIPE.
  ssize_t sent = send(handle_, data, length > INT_MAX ? INT_MAX : length, MSG_NOSIGNAL);
  if (sent > 0) return static_cast<int>(sent);
  return sent < 0 && WouldBlock() ? kWouldBlock : kFailed;
}

int PosixSocket::TryReceive(uint8_t* buffer, size_t capacity) {
  ssize_t received = recv(handle_, buffer, capacity > INT_MAX ? INT_MAX : capacity, 0);
  if (received >= 0) return static_cast<int>(received);
  return WouldBlock() ? kWouldBlock : kFailed;
}

void PosixSocket::MakeNonBlocking() { fcntl(handle_, F_SETFL, fcntl(handle_, F_GETFL) | O_NONBLOCK); }

bool PosixSocket::WaitReadable(int timeoutMs) {
  pollfd entries[2] = {{handle_, POLLIN, 0}, {interrupted_, POLLIN, 0}};
  // An error counts as ready too: the call that follows reports it.
  return poll(entries, interrupted_ >= 0 ? 2 : 1, timeoutMs) != 0;
}

bool PosixSocket::WaitWritable(int timeoutMs) {
  pollfd entry = {handle_, POLLOUT, 0};
  return poll(&entry, 1, timeoutMs) != 0;
}

void PosixSocket::Interrupt() {
  if (interrupted_ < 0) return;
  const uint64_t one = 1;
  // Only fails when the counter is full, which leaves it readable anyway.
  (void)!write(interrupted_, &one, sizeof one);
}

void PosixSocket::Close() {
  for (int* descriptor : {&handle_, &interrupted_}) {
    if (*descriptor >= 0) ::close(*descriptor);
    *descriptor = -1;
  }
}
