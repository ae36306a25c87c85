#include "RawPeer.h"

#include "JoinHandshake.h"
#include "PeerLimits.h"
#include "TcpSocket.h"
#include "TlsStream.h"
#include "events/ProtocolTypes.h"

RawPeer::~RawPeer() { Close(); }

bool RawPeer::Connect(int port, bool reads, int receiveBuffer) {
  auto socket = std::make_unique<TcpSocket>(
      TcpSocket::Connect("127.0.0.1", static_cast<uint16_t>(port), &error_, receiveBuffer));
  if (!socket->IsOpen()) return false;
  stream_ = std::move(socket);
  if (reads) receiving_ = std::thread([this] { ReceiveLoop(); });
  return true;
}

bool RawPeer::Join(int port, const Invitation& invitation, bool reads, int receiveBuffer) {
  if (!Connect(port, false, receiveBuffer)) return false;
  const auto limit = std::chrono::seconds(static_cast<int>(kJoinSeconds));
  stream_ = TlsStream::Connect(std::move(stream_), invitation.fingerprint, limit, *giveUp_, &error_);
  const JoinLimits limits = {std::chrono::steady_clock::now() + limit, giveUp_};
  if (!stream_ ||
      !JoinPresenter(*stream_, invitation.key, "raw peer", limits, &viewerNumber_, &error_)) {
    ended_ = true;
    return false;
  }
  if (reads) receiving_ = std::thread([this] { ReceiveLoop(); });
  return true;
}

bool RawPeer::SendBytes(const std::vector<uint8_t>& bytes) {
  return stream_ && stream_->SendAll(bytes.data(), bytes.size(), *giveUp_);
}

void RawPeer::Close() {
  stop_ = true;
  if (receiving_.joinable()) receiving_.join();
  if (stream_) stream_->Close();
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
    int received = stream_->Receive(buffer.data(), static_cast<int>(buffer.size()), stop_);
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

std::vector<uint8_t> HeaderBytes(uint32_t type, uint32_t size) {
  std::vector<uint8_t> bytes(kEventHeaderSize);
  WriteMessage(bytes.data(), EventHeader{type, size});
  return bytes;
}

std::vector<uint8_t> RepeatedFrame(const WireFrame& frame, int times) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < times; ++i) bytes.insert(bytes.end(), frame->begin(), frame->end());
  return bytes;
}
