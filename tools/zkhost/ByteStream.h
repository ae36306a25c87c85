#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// ByteStream: one connected, ordered, reliable stream of bytes as a link
// uses it: a socket, or TLS over a socket. The primitives never block, as
// mbed TLS wants of what it runs over; the waits block at most their time-out,
// so a caller can look at a cancel flag between them. SendAll and Receive
// build the blocking calls of a link's threads on them.
//
// Owned by one connection. Threads: one thread may send (TrySend, WaitWritable,
// SendAll) while another receives (TryReceive, WaitReadable, Receive); Close
// only once neither does.
class ByteStream {
 public:
  // What TrySend and TryReceive return besides a byte count.
  static constexpr int kWouldBlock = -1;
  static constexpr int kFailed = -2;
  // How long a sender blocked by a lagging peer waits before it looks at its
  // cancel flag again. Room on the link wakes it at once.
  static constexpr int kCancelCheckMs = 250;
  // How long a receiver or an acceptor sleeps between looks at its flag.
  // Whoever sets the flag calls Interrupt, which wakes it at once, so this
  // only bounds how late a flag set without it is seen; each wake-up of an
  // idle thread costs a session CPU under Wine.
  static constexpr int kIdleLookMs = 2000;
  // Between looks in handshakes, which nobody interrupts: a presenter gives up a stranger's unfinished
  // handshake for a newcomer, and its thread should go at once.
  static constexpr int kHandshakeCheckMs = 50;

  virtual ~ByteStream() = default;

  // Sends some of the bytes (length > 0): the count sent, kWouldBlock or
  // kFailed. After kWouldBlock the next call must offer the same bytes again:
  // TLS has already sealed them into a record that is half on its way.
  virtual int TrySend(const uint8_t* data, size_t length) = 0;
  // The count received, 0 at the end of the stream, kWouldBlock or kFailed.
  virtual int TryReceive(uint8_t* buffer, size_t capacity) = 0;
  // True when the stream became ready within the time-out, or waiting failed
  // (the next Try call then reports it).
  virtual bool WaitReadable(int timeoutMs) = 0;
  virtual bool WaitWritable(int timeoutMs) = 0;
  // Wakes every wait on the stream, the ones under way and every later one:
  // call it after setting the flag the waiting threads look at. Any thread.
  virtual void Interrupt() = 0;
  virtual void Close() = 0;

  // False when the stream failed or the flag was set before all was sent.
  bool SendAll(const uint8_t* data, size_t length, const std::atomic<bool>& cancel);
  // Waits for bytes: the count received, 0 at the end of the stream, negative
  // on failure or when cancelled.
  int Receive(uint8_t* buffer, int capacity, const std::atomic<bool>& cancel);
};
