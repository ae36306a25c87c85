#include "TcpSocket.h"

#include <ws2tcpip.h>

#include <climits>
#include <cstdlib>
#include <initializer_list>
#include <utility>

namespace {
// A link's writes are small and answered (events, input, a TLS handshake's
// flights): held back until the previous one is acknowledged, each would wait
// out the peer's delayed acknowledgement. Under Wine a TLS handshake took
// 114-144 ms instead of 21-33 ms; Windows itself delays acknowledgements up
// to 200 ms.
void SendAtOnce(SOCKET handle) {
  BOOL on = TRUE;
  setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

std::string LastError(const char* step) {
  return std::string(step) + " failed (Winsock error " + std::to_string(WSAGetLastError()) + ")";
}
}  // namespace

TcpSocket::TcpSocket(SOCKET handle) : handle_(handle) {
  if (handle_ == INVALID_SOCKET) return;
  networkEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  interrupted_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept { *this = std::move(other); }

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    std::swap(handle_, other.handle_);
    std::swap(networkEvent_, other.networkEvent_);
    std::swap(interrupted_, other.interrupted_);
    std::swap(eventsSelected_, other.eventsSelected_);
  }
  return *this;
}

TcpSocket TcpSocket::Listen(uint16_t port, std::string* error, bool loopbackOnly) {
  TcpSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!socket.IsOpen()) {
    *error = LastError("socket");
    return socket;
  }
  // The port is this listener's alone: with SO_REUSEADDR, Windows lets
  // another program bind the same port and take its connections.
  BOOL exclusive = TRUE;
  setsockopt(socket.handle_, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
             reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
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

TcpSocket TcpSocket::Connect(const std::string& host, uint16_t port, std::string* error,
                             int receiveBuffer) {
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
    *error = LastError(("resolving " + host).c_str());
    return TcpSocket();
  }
  TcpSocket socket(::socket(found->ai_family, found->ai_socktype, found->ai_protocol));
  if (socket.IsOpen() && receiveBuffer > 0) {
    setsockopt(socket.handle_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
               sizeof receiveBuffer);
  }
  if (!socket.IsOpen()) {
    *error = LastError("socket");
  } else if (connect(socket.handle_, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0) {
    *error = LastError("connect");
    socket.Close();
  } else {
    socket.MakeNonBlocking();
    SendAtOnce(socket.handle_);
  }
  freeaddrinfo(found);
  return socket;
}

uint16_t TcpSocket::LocalPort() const {
  sockaddr_in address = {};
  int length = sizeof address;
  if (getsockname(handle_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

std::string TcpSocket::PeerAddress() const {
  sockaddr_in address = {};
  int length = sizeof address;
  if (getpeername(handle_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return "";
  char text[INET_ADDRSTRLEN] = {};
  return inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) ? text : "";
}

TcpSocket TcpSocket::Accept(const std::atomic<bool>& cancel) {
  while (!cancel) {
    TcpSocket peer(accept(handle_, nullptr, nullptr));
    if (!peer.IsOpen() && WSAGetLastError() == WSAEWOULDBLOCK) {
      WaitReadable(kIdleLookMs);
      continue;
    }
    if (peer.IsOpen()) {
      // An accepted socket inherits the listener's event selection; its own
      // receiving thread selects its events when it first waits.
      WSAEventSelect(peer.handle_, nullptr, 0);
      peer.MakeNonBlocking();
      SendAtOnce(peer.handle_);
      return peer;
    }
    break;
  }
  return TcpSocket();
}

int TcpSocket::TrySend(const uint8_t* data, size_t length) {
  int chunk = length > INT_MAX ? INT_MAX : static_cast<int>(length);
  int sent = send(handle_, reinterpret_cast<const char*>(data), chunk, 0);
  if (sent > 0) return sent;
  return sent < 0 && WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kFailed;
}

int TcpSocket::TryReceive(uint8_t* buffer, size_t capacity) {
  int chunk = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
  int received = recv(handle_, reinterpret_cast<char*>(buffer), chunk, 0);
  if (received >= 0) return received;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kFailed;
}

void TcpSocket::MakeNonBlocking() {
  u_long on = 1;
  ioctlsocket(handle_, FIONBIO, &on);
}

bool TcpSocket::WaitReadable(int timeoutMs) {
  if (!eventsSelected_) {
    // Read, accept and close are recorded again after each recv or accept,
    // which the caller has just made: nothing that arrives is missed.
    WSAEventSelect(handle_, networkEvent_, FD_READ | FD_ACCEPT | FD_CLOSE);
    eventsSelected_ = true;
  }
  HANDLE events[2] = {networkEvent_, interrupted_};
  DWORD waited = WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(timeoutMs));
  WSANETWORKEVENTS recorded;
  WSAEnumNetworkEvents(handle_, networkEvent_, &recorded);  // resets the event
  return waited != WAIT_TIMEOUT;  // a failure too: the call that follows reports it
}

bool TcpSocket::WaitWritable(int timeoutMs) {
  // The sender waits only while the peer lags, so it looks at its flag
  // between waits instead of sharing the receiver's event selection.
  fd_set set;
  FD_ZERO(&set);
  FD_SET(handle_, &set);
  timeval timeout = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  return select(0, nullptr, &set, nullptr, &timeout) != 0;
}

void TcpSocket::Interrupt() {
  if (interrupted_) SetEvent(interrupted_);
}

void TcpSocket::SetSendBuffer(int bytes) {
  setsockopt(handle_, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

void TcpSocket::Close() {
  if (handle_ != INVALID_SOCKET) {
    closesocket(handle_);
    handle_ = INVALID_SOCKET;
  }
  for (HANDLE* event : {&networkEvent_, &interrupted_}) {
    if (*event) CloseHandle(*event);
    *event = nullptr;
  }
  eventsSelected_ = false;
}

WinsockSession::WinsockSession() {
  WSADATA data;
  started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

WinsockSession::~WinsockSession() {
  if (started_) WSACleanup();
}

bool ParseHostPort(const std::string& text, std::string* host, uint16_t* port) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
  char* end = nullptr;
  unsigned long value = std::strtoul(text.c_str() + colon + 1, &end, 10);
  if (*end != '\0' || value == 0 || value > 65535) return false;
  *host = text.substr(0, colon);
  *port = static_cast<uint16_t>(value);
  return true;
}
