#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "EventFraming.h"
#include "NatsAudience.h"
#include "NatsSessionStream.h"

// A presenter made of the portable pieces for the NATS session's tests: a
// NatsAudience whose drain loop answers each batch of joiners with the frames
// the test gives as the full update, and records what viewers send.
// Its loop runs on a thread of its own, as the host's drain thread does,
// and can be held before it answers anyone.
class StandInNatsHost {
 public:
  struct Received {
    uint32_t viewer;
    uint32_t type;
    std::vector<uint8_t> payload;
  };

  StandInNatsHost(const std::string& urls, const std::string& session);
  ~StandInNatsHost();
  bool Start(std::string* error);
  NatsAudience& Audience() { return *audience_; }
  // What every later full update is: the frames joiners start from.
  void SetFullUpdate(std::vector<WireFrame> frames);
  void Hold(bool held) { held_ = held; }
  // Waits until `count` events from viewers arrived; all so far.
  std::vector<Received> AwaitReceived(size_t count, std::chrono::milliseconds timeout);
  // Polls `done` at the host's pace until it holds or time is up.
  static bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout);

 private:
  void Loop();

  std::unique_ptr<NatsAudience> audience_;
  std::atomic<bool> held_{false};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<WireFrame> fullUpdate_;
  std::vector<Received> received_;
  uint32_t numbers_ = 1;
  std::thread loop_;
};

// Reads whole frames from a viewer's stream.
class FrameCollector {
 public:
  explicit FrameCollector(ByteStream& stream) : stream_(stream) {}
  // The next `count` frames, or fewer when time ran out.
  std::vector<ReceivedEvent> Next(size_t count, std::chrono::milliseconds timeout);

 private:
  ByteStream& stream_;
  FrameReader reader_;
  std::vector<ReceivedEvent> ready_;
};

WireFrame TestFrame(uint32_t type, size_t size, uint8_t fill);
