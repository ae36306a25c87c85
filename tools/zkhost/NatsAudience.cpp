#include "NatsAudience.h"

#include <algorithm>

#include "PeerLimits.h"

NatsAudience::NatsAudience(NatsOptions options, const NatsSessionSubjects& subjects,
                           NumberSource numbers, EventSink sink)
    : subjects_(subjects), numbers_(std::move(numbers)), sink_(std::move(sink)) {
  connection_ = std::make_unique<NatsConnection>(
      std::move(options), [this](const NatsDelivery& message) { OnMessage(message); },
      [this](const NatsStatus& status) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (status.kind != NatsStatus::Kind::kConnected && !status.text.empty())
          lastFailure_ = status.server + ": " + status.text;
      });
}

NatsAudience::~NatsAudience() { Stop(); }

bool NatsAudience::Start(std::chrono::milliseconds wait, std::string* error) {
  connection_->Subscribe(subjects_.join);
  connection_->Subscribe(subjects_.upAll);
  connection_->Start();
  if (connection_->WaitConnected(wait)) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  *error = "no NATS server let the presenter in";
  if (!lastFailure_.empty()) *error += " (" + lastFailure_ + ")";
  return false;
}

void NatsAudience::Stop() {
  // The connection itself stays until the destructor: commands on other
  // threads may still answer a viewer, which a stopped connection refuses.
  if (stopped_.exchange(true)) return;
  if (connection_->Connected()) {
    std::lock_guard<std::mutex> publishing(publishMutex_);
    NatsPieceHeader end;
    end.kind = NatsPieceKind::kEnd;
    end.sequence = ++sequence_;
    PublishPieces(subjects_.events, end, nullptr, 0);
    connection_->Flush(std::chrono::milliseconds(2000));
  }
  connection_->Stop();
}

bool NatsAudience::PublishPieces(const std::string& subject, const NatsPieceHeader& header,
                                 const uint8_t* body, size_t length) {
  const auto pieces = SplitNatsMessage(header, body, length, connection_->MaxPayload());
  if (pieces.empty()) return false;
  for (const auto& piece : pieces) {
    if (connection_->Publish(subject, piece.data(), piece.size()) !=
        NatsConnection::PublishResult::kQueued)
      return false;  // the rest would be dropped by the joiner anyway
    bytesPublished_ += piece.size();
  }
  return true;
}

void NatsAudience::Broadcast(const WireFrame& frame, uint32_t except) {
  NatsPieceHeader header;
  header.kind = NatsPieceKind::kBroadcast;
  if (except != 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [id, viewer] : viewers_)
      if (viewer.number == except) header.except = viewer.idValue;
  }
  std::lock_guard<std::mutex> publishing(publishMutex_);
  // Numbered whether or not it goes out: a viewer that misses one sees the
  // gap and asks for a full update.
  header.sequence = ++sequence_;
  PublishPieces(subjects_.events, header, frame->data(), frame->size());
}

uint32_t NatsAudience::TakeJoinBatch() {
  std::lock_guard<std::mutex> lock(mutex_);
  const Clock::time_point now = Clock::now();
  if (!joinsWaiting_ || now - firstJoin_ < kJoinBatchWindow) return 0;
  if (awaitedTag_ != 0 && now - asked_ < kContainerWait) return 0;
  tags_ = (tags_ + 1) & 0xFFFF;
  if (tags_ == 0) tags_ = 1;
  awaitedTag_ = tags_;
  asked_ = now;
  joinsWaiting_ = false;
  return awaitedTag_;
}

bool NatsAudience::Awaits(uint32_t tag) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tag != 0 && tag == awaitedTag_;
}

void NatsAudience::PublishContainer(const std::vector<WireFrame>& frames) {
  {
    // Whoever asked before now subscribed before now, and so hears every
    // broadcast after this container: it answers them too.
    std::lock_guard<std::mutex> lock(mutex_);
    awaitedTag_ = 0;
    joinsWaiting_ = false;
  }
  std::vector<uint8_t> body;
  for (const WireFrame& frame : frames)
    if (frame) body.insert(body.end(), frame->begin(), frame->end());
  NatsPieceHeader header;
  header.kind = NatsPieceKind::kContainer;
  std::lock_guard<std::mutex> publishing(publishMutex_);
  header.sequence = sequence_;
  if (PublishPieces(subjects_.welcome, header, body.data(), body.size())) ++containers_;
}

bool NatsAudience::SendTo(uint32_t number, const WireFrame& frame) {
  std::string subject;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [id, viewer] : viewers_)
      if (viewer.number == number) subject = subjects_.ViewerSubject(id);
  }
  if (subject.empty()) return false;
  NatsPieceHeader header;
  header.kind = NatsPieceKind::kAnswer;
  PublishPieces(subject, header, frame->data(), frame->size());
  return true;
}

bool NatsAudience::Knows(uint32_t number) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [id, viewer] : viewers_)
    if (viewer.number == number) return true;
  return false;
}

std::string NatsAudience::NameOf(uint32_t number) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [id, viewer] : viewers_)
    if (viewer.number == number) return viewer.name;
  return "";
}

std::vector<NatsViewerInfo> NatsAudience::Viewers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<NatsViewerInfo> viewers;
  for (const auto& [id, viewer] : viewers_) viewers.push_back({viewer.number, viewer.name, id});
  std::sort(viewers.begin(), viewers.end(),
            [](const NatsViewerInfo& a, const NatsViewerInfo& b) { return a.number < b.number; });
  return viewers;
}

std::vector<uint32_t> NatsAudience::TakeLeavers() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<uint32_t> leavers;
  leavers.swap(leavers_);
  return leavers;
}

uint64_t NatsAudience::CutOffs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cutOffs_;
}

void NatsAudience::OnMessage(const NatsDelivery& message) {
  if (message.subject == subjects_.join) return OnJoin(message.data, message.length);
  const std::string_view up = std::string_view(subjects_.upAll).substr(0, subjects_.upAll.size() - 1);
  if (message.subject.substr(0, up.size()) == up)
    OnUp(message.subject.substr(up.size()), message.data, message.length);
}

void NatsAudience::OnJoin(const uint8_t* data, size_t length) {
  if (length < 16 || length > kMaxJoinRequest) return;
  const std::string_view request(reinterpret_cast<const char*>(data), length);
  uint64_t value;
  if (!ParseViewerId(request.substr(0, 16), &value)) return;
  std::string name;
  if (length > 17 && request[16] == ' ')
    for (char c : request.substr(17)) name += (c >= 32 && c < 127) ? c : '?';
  std::lock_guard<std::mutex> lock(mutex_);
  Viewer* viewer = Find(request.substr(0, 16), value);
  if (!viewer) return;
  if (!name.empty()) viewer->name = name;
  if (!joinsWaiting_) firstJoin_ = Clock::now();
  joinsWaiting_ = true;
}

void NatsAudience::OnUp(std::string_view id, const uint8_t* data, size_t length) {
  uint64_t value;
  if (!ParseViewerId(id, &value)) return;
  std::vector<ReceivedEvent> events;
  uint32_t number = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto known = viewers_.find(std::string(id));
    if (length == 0) {
      if (known != viewers_.end()) Forget(known);
      return;
    }
    Viewer* viewer = Find(id, value);
    if (!viewer) return;
    number = viewer->number;
    // Each message holds whole frames, none longer than a viewer sends.
    FrameReader reader(kMaxViewerFramePayload);
    bool fair = reader.Feed(data, length, &events) && reader.AtFrameBoundary();
    for (size_t i = 0; fair && i < events.size(); ++i) fair = viewer->rate.Take();
    if (!fair) return CutOff(viewers_.find(std::string(id)));
  }
  for (const ReceivedEvent& event : events) sink_(number, event.type, event.payload);
}

NatsAudience::Viewer* NatsAudience::Find(std::string_view id, uint64_t value) {
  const std::string key(id);
  if (std::find(cutOff_.begin(), cutOff_.end(), key) != cutOff_.end()) return nullptr;
  auto found = viewers_.find(key);
  if (found == viewers_.end()) {
    if (viewers_.size() >= kMaxNatsViewers) {
      auto oldest = std::min_element(viewers_.begin(), viewers_.end(), [](const auto& a, const auto& b) {
        return a.second.heard < b.second.heard;
      });
      Forget(oldest);
    }
    ++seen_;
    Viewer viewer{numbers_(), key, value, "nats-" + key.substr(0, 6),
                  RateBound(kViewerEventsPerSecond, kViewerEventBurst), Clock::now()};
    found = viewers_.emplace(key, std::move(viewer)).first;
  }
  found->second.heard = Clock::now();
  return &found->second;
}

void NatsAudience::CutOff(std::map<std::string, Viewer>::iterator viewer) {
  ++cutOffs_;
  if (cutOff_.size() >= kMaxCutOffNatsViewers) cutOff_.pop_front();
  cutOff_.push_back(viewer->first);
  Forget(viewer);
}

void NatsAudience::Forget(std::map<std::string, Viewer>::iterator viewer) {
  leavers_.push_back(viewer->second.number);
  viewers_.erase(viewer);
}
