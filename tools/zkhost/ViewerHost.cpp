#include "ViewerHost.h"

#include <chrono>
#include <thread>
#include <vector>

#include "EventFraming.h"
#include "EventRouting.h"
#include "JoinHandshake.h"
#include "PeerLimits.h"
#include "TcpSocket.h"
#include "TlsStream.h"
#include "events/ControlTokenMessages.h"
#include "events/ProtocolMessages.h"

namespace {
constexpr int kReceiveChunk = 256 * 1024;
constexpr uint32_t kDrainWaitMs = 250;
constexpr DWORD kConnectRetryMs = 100;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
}  // namespace

bool ViewerHost::Connect(std::string* error) {
  auto start = std::chrono::steady_clock::now();
  std::unique_ptr<TcpSocket> socket;
  for (;;) {
    socket = std::make_unique<TcpSocket>(TcpSocket::Connect(options_.host, options_.port, error));
    if (socket->IsOpen()) break;
    if (SecondsSince(start) >= options_.connectSeconds) return false;
    Sleep(kConnectRetryMs);  // nothing to wait on: the presenter is not listening yet
  }
  stream_ = std::move(socket);
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(kJoinSeconds));
  if (!options_.bridge) {
    auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    stream_ = TlsStream::Connect(std::move(stream_), options_.invitation.fingerprint, limit, stop_, error);
    if (!stream_) return false;
  }
  const JoinLimits limits = {deadline, &stop_};
  return JoinPresenter(*stream_, options_.invitation.key, options_.name, limits, &viewerNumber_,
                       error);
}

void ViewerHost::Stop() {
  stopRequested_ = true;
  EndRun();
}

void ViewerHost::EndRun() {
  ending_ = true;
  if (stream_) stream_->Interrupt();
}

bool ViewerHost::Run(std::string* reason) {
  std::thread sender(&ViewerHost::SendLoop, this);
  FrameReader reader;
  std::vector<uint8_t> buffer(kReceiveChunk);
  std::vector<ReceivedEvent> events;
  bool orderly = false;
  for (;;) {
    int received = stream_->Receive(buffer.data(), kReceiveChunk, ending_);
    if (ending_) {
      *reason = stopRequested_ ? "stopped on request" : "time is up";
      orderly = true;
      break;
    }
    if (received < 0) {
      *reason = "connection lost";
      break;
    }
    if (received == 0) {
      orderly = reader.AtFrameBoundary();
      *reason = orderly ? "the presenter closed the connection" : "truncated frame";
      break;
    }
    figures_.bytesReceived += static_cast<uint64_t>(received);
    events.clear();
    bool wellFormed = reader.Feed(buffer.data(), static_cast<size_t>(received), &events);
    for (const ReceivedEvent& event : events)
      Receive(event.type, event.payload.data(), static_cast<uint32_t>(event.payload.size()));
    if (!wellFormed) {
      *reason = reader.Error();
      break;
    }
  }
  stop_ = true;
  sender.join();
  stream_->Close();
  return orderly;
}

void ViewerHost::Receive(uint32_t type, const uint8_t* payload, uint32_t size) {
  ++figures_.events;
  if (type == ZKH_GRANTCONTROL) return OnGrant(payload, size);
  if (type == ZKH_DENYCONTROL) return OnDenial();
  if (type == ZKP_CANCELINPUTCONTROL) OnCancel();
  if (type == ZKP_FULLUPDATE) ++figures_.fullUpdates;
  uint16_t width = 0, height = 0;
  if (FindFrameSize(type, payload, size, &width, &height) &&
      (width != figures_.frameWidth || height != figures_.frameHeight)) {
    // The window shows the whole frame: no scroll bars, no margins.
    figures_.frameWidth = width, figures_.frameHeight = height;
    zk_.SetPosition(options_.x, options_.y, width, height, 1);
  }
  // The library copies the payload; the buffer stays ours.
  ZKEvent event = {type, size, const_cast<uint8_t*>(payload)};
  zk_.PostEvent(&event);
}

void ViewerHost::OnGrant(const uint8_t* payload, uint32_t size) {
  ControlGrantMessage grant;
  if (!ParseMessage(payload, size, &grant) || grant.token == 0) return;
  {
    std::lock_guard<std::mutex> lock(controlMutex_);
    if (unansweredRequests_ > 0) --unansweredRequests_;
    // An older request's answer: the newer one's grant follows and replaces it.
    if (unansweredRequests_ > 0) return;
    if (requestWaiting_) {
      grantedToken_ = grant.token;
      granted_.notify_all();
      return;
    }
    if (controlToken_ != 0) {
      controlToken_ = grant.token;
      zk_.EnableInputControl(1, grant.token);
      return;
    }
  }
  Send(*MakeMessageFrame(ZKH_RELEASECONTROL, ControlReleaseMessage{}));
  if (notice_) notice_("a control grant came after its request had timed out: given back");
}

void ViewerHost::OnDenial() {
  std::lock_guard<std::mutex> lock(controlMutex_);
  if (unansweredRequests_ > 0) --unansweredRequests_;
  if (unansweredRequests_ > 0 || !requestWaiting_) return;
  denied_ = true;
  granted_.notify_all();
}

void ViewerHost::OnCancel() {
  // The library takes no action on a cancel: the host ends control.
  {
    std::lock_guard<std::mutex> lock(controlMutex_);
    if (controlToken_ == 0) return;
    controlToken_ = 0;
    zk_.EnableInputControl(0, 0);
  }
  if (notice_) notice_("input control cancelled by the presenter");
}

ViewerHost::ControlAnswer ViewerHost::RequestControl(double seconds, uint32_t* token) {
  std::unique_lock<std::mutex> lock(controlMutex_);
  grantedToken_ = 0;
  denied_ = false;
  if (!Send(*MakeMessageFrame(ZKH_REQUESTCONTROL, ControlRequestMessage{})))
    return ControlAnswer::kFailed;
  ++unansweredRequests_;
  requestWaiting_ = true;
  const auto wait = std::chrono::duration<double>(seconds);
  granted_.wait_for(lock, wait, [this] { return grantedToken_ != 0 || denied_ || stop_; });
  requestWaiting_ = false;
  if (denied_) return ControlAnswer::kDenied;
  if (grantedToken_ == 0) return ControlAnswer::kNoAnswer;
  controlToken_ = *token = grantedToken_;
  grantedToken_ = 0;
  zk_.EnableInputControl(1, *token);
  return ControlAnswer::kGranted;
}

bool ViewerHost::ReleaseControl() {
  std::lock_guard<std::mutex> lock(controlMutex_);
  if (controlToken_ == 0) return false;
  controlToken_ = 0;
  zk_.EnableInputControl(0, 0);
  Send(*MakeMessageFrame(ZKH_RELEASECONTROL, ControlReleaseMessage{}));
  return true;
}

bool ViewerHost::Send(const std::vector<uint8_t>& frame) {
  std::lock_guard<std::mutex> lock(sendMutex_);
  return stream_->SendAll(frame.data(), frame.size(), stop_);
}

void ViewerHost::SendLoop() {
  auto start = std::chrono::steady_clock::now();
  while (!stop_) {
    if (options_.seconds > 0 && SecondsSince(start) >= options_.seconds) {
      EndRun();  // the receiving loop too
      return;
    }
    if (!zk_.WaitForEvents(kDrainWaitMs)) continue;
    ZKEvent event;
    while (zk_.GetQueuedEvent(&event)) {
      WireFrame frame = MakeWireFrame(event.type, event.size, event.payload);
      if (event.payload) GlobalFree(event.payload);
      Send(*frame);
    }
  }
}
