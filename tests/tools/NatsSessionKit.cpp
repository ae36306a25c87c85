#include "NatsSessionKit.h"

#include <algorithm>

namespace {
using Clock = std::chrono::steady_clock;
// The host's drain loop wakes at most this far apart when idle.
constexpr std::chrono::milliseconds kLoopPace{20};
}  // namespace

StandInNatsHost::StandInNatsHost(const std::string& urls, const std::string& session) {
  NatsOptions options;
  std::string error;
  ParseNatsUrlList(urls, &options.servers, &error);
  NatsSessionSubjects subjects;
  MakeSessionSubjects(session, &subjects);
  audience_ = std::make_unique<NatsAudience>(
      std::move(options), subjects,
      [this] {
        std::lock_guard<std::mutex> lock(mutex_);
        return numbers_++;
      },
      [this](uint32_t viewer, uint32_t type, const std::vector<uint8_t>& payload) {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.push_back({viewer, type, payload});
        changed_.notify_all();
      });
}

StandInNatsHost::~StandInNatsHost() {
  stop_ = true;
  if (loop_.joinable()) loop_.join();
  audience_->Stop();
}

bool StandInNatsHost::Start(std::string* error) {
  if (!audience_->Start(std::chrono::seconds(5), error)) return false;
  loop_ = std::thread(&StandInNatsHost::Loop, this);
  return true;
}

void StandInNatsHost::SetFullUpdate(std::vector<WireFrame> frames) {
  std::lock_guard<std::mutex> lock(mutex_);
  fullUpdate_ = std::move(frames);
}

void StandInNatsHost::Loop() {
  while (!stop_) {
    std::this_thread::sleep_for(kLoopPace);
    if (held_ || audience_->TakeJoinBatch() == 0) continue;
    std::vector<WireFrame> frames;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      frames = fullUpdate_;
    }
    audience_->PublishContainer(frames);
  }
}

std::vector<StandInNatsHost::Received> StandInNatsHost::AwaitReceived(size_t count,
                                                                      std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
  return received_;
}

bool StandInNatsHost::Eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(kLoopPace);
  }
  return true;
}

std::vector<ReceivedEvent> FrameCollector::Next(size_t count, std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  std::vector<uint8_t> buffer(64 * 1024);
  while (ready_.size() < count && Clock::now() < end) {
    const int received = stream_.TryReceive(buffer.data(), buffer.size());
    if (received > 0) {
      reader_.Feed(buffer.data(), static_cast<size_t>(received), &ready_);
    } else if (received == ByteStream::kWouldBlock) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
      stream_.WaitReadable(static_cast<int>(std::max<int64_t>(1, left.count())));
    } else {
      break;
    }
  }
  const size_t taken = std::min(count, ready_.size());
  std::vector<ReceivedEvent> frames(ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(taken));
  ready_.erase(ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(taken));
  return frames;
}

WireFrame TestFrame(uint32_t type, size_t size, uint8_t fill) {
  std::vector<uint8_t> payload(size, fill);
  return MakeWireFrame(type, static_cast<uint32_t>(size), payload.data());
}
