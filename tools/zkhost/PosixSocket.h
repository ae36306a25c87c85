#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "ByteStream.h"

// PosixSocket: one TCP stream socket of a POSIX system, closed when the
// object goes; TcpSocket's counterpart for the native builds (a Linux viewer,
// the link's native tests). Non-blocking; the calls that wait look at a
// cancel flag, and waits for reading or a peer also wake on Interrupt (an
// eventfd polled beside the socket), so the socket is never closed under a
// thread that uses it.
// Owned by one connection object and used by its threads as ByteStream says.
class PosixSocket : public ByteStream {
 public:
  PosixSocket() = default;
  explicit PosixSocket(int handle);
  PosixSocket(PosixSocket&& other) noexcept;
  PosixSocket& operator=(PosixSocket&& other) noexcept;
  PosixSocket(const PosixSocket&) = delete;
  PosixSocket& operator=(const PosixSocket&) = delete;
  ~PosixSocket() override { Close(); }

  // Listens on all local addresses; port 0 lets the system choose one.
  static PosixSocket Listen(uint16_t port, std::string* error);
  static PosixSocket Connect(const std::string& host, uint16_t port, std::string* error);

  bool IsOpen() const { return handle_ >= 0; }
  uint16_t LocalPort() const;
  // Waits for a peer; an invalid socket when cancelled or failed.
  PosixSocket Accept(const std::atomic<bool>& cancel);

  int TrySend(const uint8_t* data, size_t length) override;
  int TryReceive(uint8_t* buffer, size_t capacity) override;
  bool WaitReadable(int timeoutMs) override;
  bool WaitWritable(int timeoutMs) override;
  void Interrupt() override;
  void Close() override;

 private:
  void MakeNonBlocking();

  int handle_ = -1;
  int interrupted_ = -1;  // an eventfd: readable once interrupted, for good
};
