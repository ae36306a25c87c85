#pragma once

#include <winsock2.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "ByteStream.h"

// TcpSocket: one Winsock stream socket, closed when the object goes. The
// calls that wait (Accept, Receive, SendAll) look at a cancel flag, so that
// another thread can stop them by setting it and calling Interrupt: the
// socket itself is never closed under a thread that uses it. Waits for
// reading or a peer sleep on the socket's network events and the interrupt
// together (WSAEventSelect), so an idle link costs no wake-ups. Owned by one
// connection object and used by its threads.
class TcpSocket : public ByteStream {
 public:
  TcpSocket() = default;
  explicit TcpSocket(SOCKET handle);
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;
  ~TcpSocket() override { Close(); }

  // Listens on all local addresses, or on the loopback address alone (for
  // what only this machine may reach); port 0 lets the system choose one.
  static TcpSocket Listen(uint16_t port, std::string* error, bool loopbackOnly = false);
  // A receive buffer size other than 0 is set before connecting, when it
  // still bounds what the peer may send ahead.
  static TcpSocket Connect(const std::string& host, uint16_t port, std::string* error,
                           int receiveBuffer = 0);

  bool IsOpen() const { return handle_ != INVALID_SOCKET; }
  uint16_t LocalPort() const;
  // The peer's IPv4 address as text ("" when unknown).
  std::string PeerAddress() const;
  // Waits for a peer; an invalid socket when cancelled or failed.
  TcpSocket Accept(const std::atomic<bool>& cancel);
  // Bounds what the system buffers for this socket, so that a peer that
  // stops reading shows up as a backlog in the host, where it can be handled.
  void SetSendBuffer(int bytes);

  int TrySend(const uint8_t* data, size_t length) override;
  int TryReceive(uint8_t* buffer, size_t capacity) override;
  bool WaitReadable(int timeoutMs) override;
  bool WaitWritable(int timeoutMs) override;
  void Interrupt() override;
  void Close() override;

 private:
  void MakeNonBlocking();

  SOCKET handle_ = INVALID_SOCKET;
  // Signalled by the socket's read, accept and close events once selected.
  HANDLE networkEvent_ = nullptr;
  HANDLE interrupted_ = nullptr;  // manual reset: stays set once interrupted
  bool eventsSelected_ = false;   // by the receiving thread, at its first wait
};

// Winsock must be started once per process before any socket is made.
class WinsockSession {
 public:
  WinsockSession();
  ~WinsockSession();
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  bool Started() const { return started_; }

 private:
  bool started_;
};

// "host:port" split into its parts; false when it is not of that form.
bool ParseHostPort(const std::string& text, std::string* host, uint16_t* port);
