#include "NatsTransport.h"

#include <ws2tcpip.h>

#include <algorithm>

#include "TcpSocket.h"

namespace {
// How often the wait for the connection looks at the cancel flag.
constexpr long kCheckMs = 50;

long MsUntil(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<long>(std::clamp<long long>(left.count(), 0, kCheckMs));
}

// 0 once connected, else the Winsock error of the failure (WSAETIMEDOUT or
// WSAECANCELLED when the wait ended first). Winsock reports a failed
// connection attempt in the exception set, a finished one in the write set.
int AwaitConnected(SOCKET handle, std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& cancel) {
  for (;;) {
    if (cancel) return WSAECANCELLED;
    if (std::chrono::steady_clock::now() >= deadline) return WSAETIMEDOUT;
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(handle, &writable);
    FD_SET(handle, &failed);
    long ms = MsUntil(deadline);
    timeval wait = {ms / 1000, (ms % 1000) * 1000};
    if (select(0, nullptr, &writable, &failed, &wait) <= 0) continue;
    int failure = 0;
    int length = sizeof failure;
    getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&failure), &length);
    if (failure == 0 && FD_ISSET(handle, &failed)) failure = WSAECONNREFUSED;
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
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
    *error = "resolving " + host + " failed (" + std::to_string(WSAGetLastError()) + ")";
    return nullptr;
  }
  // The socket object owns the handle from the start; the handle itself
  // serves the calls that the object does not offer.
  const SOCKET handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  auto stream = std::make_unique<TcpSocket>(handle);
  u_long on = 1;
  int failure = stream->IsOpen() && ioctlsocket(handle, FIONBIO, &on) == 0 ? 0 : WSAGetLastError();
  if (failure == 0 && connect(handle, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0) {
    failure = WSAGetLastError();
    if (failure == WSAEWOULDBLOCK) failure = AwaitConnected(handle, deadline, cancel);
  }
  freeaddrinfo(found);
  if (failure != 0) {
    *error = failure == WSAETIMEDOUT ? "connecting failed: no answer in time"
                                     : "connecting failed (" + std::to_string(failure) + ")";
    return nullptr;
  }
  // Commands are small and each is answered: sent at once, not held back.
  int noDelay = 1;
  setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
  return stream;
}
