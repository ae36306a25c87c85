#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "EventFraming.h"
#include "ByteStream.h"
#include "Invitation.h"

// A peer that speaks the hosts' protocol by hand, as a hostile viewer would:
// it sends whatever bytes or frames the test gives it and keeps what it
// receives (display pixels are counted, not kept). It may stay a stranger
// (plain TCP, before any handshake) or join as an invited viewer would (TLS
// pinned to the invitation's fingerprint, the key proved). One that does not
// read leaves everything the presenter sends in the presenter's buffers.
// Test thread; its own thread receives.
class RawPeer {
 public:
  // Sends give up when `giveUp` is set (another thread's flag), as they do
  // when the peer is closed.
  explicit RawPeer(const std::atomic<bool>* giveUp = nullptr) : giveUp_(giveUp ? giveUp : &stop_) {}
  ~RawPeer();

  // `reads` false: nothing is ever read. A receive buffer other than 0 bounds
  // what the system takes in for a peer that does not read.
  bool Connect(int port, bool reads = true, int receiveBuffer = 0);
  // Connects and joins with the invitation; false (and Error says why) when
  // the presenter did not admit it.
  bool Join(int port, const Invitation& invitation, bool reads = true, int receiveBuffer = 0);
  const std::string& Error() const { return error_; }
  uint32_t ViewerNumber() const { return viewerNumber_; }
  bool SendBytes(const std::vector<uint8_t>& bytes);
  template <typename Message>
  bool Send(uint32_t type, const Message& message) {
    return SendBytes(*MakeMessageFrame(type, message));
  }
  void Close();

  int Count(uint32_t type);
  std::vector<ReceivedEvent> Events(uint32_t type);
  // The presenter closed the connection (or it failed).
  bool Ended() const { return ended_; }

 private:
  void ReceiveLoop();

  std::unique_ptr<ByteStream> stream_;
  std::string error_;
  uint32_t viewerNumber_ = 0;
  std::atomic<bool> stop_{false};
  const std::atomic<bool>* giveUp_;
  std::atomic<bool> ended_{false};
  std::thread receiving_;
  std::mutex mutex_;
  std::vector<ReceivedEvent> received_;
  std::vector<int> counts_;  // by type, display updates and containers included
};

// Bytes a hostile peer sends: an event header alone (a frame announced and
// never sent), and one frame over and over.
std::vector<uint8_t> HeaderBytes(uint32_t type, uint32_t size);
std::vector<uint8_t> RepeatedFrame(const WireFrame& frame, int times);
