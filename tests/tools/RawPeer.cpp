#include "RawPeer.h"

#include "events/ProtocolTypes.h"

RawPeer::~RawPeer() { Close(); }

bool RawPeer::Connect(int port, bool reads, int receiveBuffer) {
  std::string error;
  socket_ = TcpSocket::Connect("127.0.0.1", static_cast<uint16_t>(port), &error, receiveBuffer);
  if (!socket_.IsOpen()) return false;
  if (reads) receiving_ = std::thread([this] { ReceiveLoop(); });
  return true;
}

bool RawPeer::SendBytes(const std::vector<uint8_t>& bytes) {
  return socket_.SendAll(bytes.data(), bytes.size(), stop_);
}

void RawPeer::Close() {
  stop_ = true;
  if (receiving_.joinable()) receiving_.join();
  socket_.Close();
}

int RawPeer::Count(uint32_t type) {
  std::lock_guard<std::mutex> lock(mutex_);
  return type < counts_.size() ? counts_[type] : 0;
}

std::vector<ReceivedEvent> RawPeer::Events(uint32_t type) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<ReceivedEvent> found;
  for (const ReceivedEvent& event : received_)
    if (event.type == type) found.push_back(event);
  return found;
}

void RawPeer::ReceiveLoop() {
  FrameReader reader;
  std::vector<uint8_t> buffer(64 * 1024);
  std::vector<ReceivedEvent> events;
  for (;;) {
    int received = socket_.Receive(buffer.data(), static_cast<int>(buffer.size()), stop_);
    if (received <= 0) break;
    events.clear();
    bool wellFormed = reader.Feed(buffer.data(), static_cast<size_t>(received), &events);
    std::lock_guard<std::mutex> lock(mutex_);
    for (ReceivedEvent& event : events) {
      if (event.type >= counts_.size()) counts_.resize(event.type + 1);
      ++counts_[event.type];
      if (event.type != ZKP_DISPLAYUPDATE && event.type != ZKP_FULLUPDATE)
        received_.push_back(std::move(event));
    }
    if (!wellFormed) break;
  }
  ended_ = true;
}
