#include "NatsSessionStream.h"

#include <algorithm>
#include <cstring>

#include "PeerLimits.h"
#include "SystemRandom.h"
#include "events/ProtocolTypes.h"

namespace {
// The whole length of the frame at `offset`: its header's second word is
// the payload's size.
uint32_t FrameLength(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t size = 0;
  std::memcpy(&size, &bytes[offset + 4], 4);
  return static_cast<uint32_t>(kEventHeaderSize) + size;
}
}  // namespace

NatsSessionStream::NatsSessionStream(NatsOptions options, const NatsSessionSubjects& subjects,
                                     std::string name)
    : subjects_(subjects), name_(std::move(name)) {
  uint8_t random[8] = {};
  FillSystemRandom(random, sizeof random);
  for (uint8_t byte : random) idValue_ = idValue_ << 8 | byte;
  if (idValue_ == 0) idValue_ = 1;  // 0 is "no viewer" in a broadcast's header
  id_ = FormatViewerId(idValue_);
  connection_ = std::make_unique<NatsConnection>(
      std::move(options), [this](const NatsDelivery& message) { OnMessage(message); },
      [this](const NatsStatus& status) { OnStatus(status); });
}

NatsSessionStream::~NatsSessionStream() { Close(); }

bool NatsSessionStream::Start(std::chrono::milliseconds wait, std::string* error) {
  // Subscribed before the first request goes out, on the same connection:
  // the server knows this viewer listens before anyone answers.
  connection_->Subscribe(subjects_.events);
  connection_->Subscribe(subjects_.ViewerSubject(id_));
  connection_->Start();
  const bool connected = connection_->WaitConnected(wait);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!connected) {
    *error = "no NATS server let this viewer in";
    if (!lastFailure_.empty()) *error += " (" + lastFailure_ + ")";
    return false;
  }
  Ask();
  return true;
}

uint64_t NatsSessionStream::JoinsAsked() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return joinsAsked_;
}

void NatsSessionStream::Ask() {
  // Queued ahead of the request on the same connection: the server has it
  // before anyone answers.
  if (welcomeSid_ == 0) welcomeSid_ = connection_->Subscribe(subjects_.welcome);
  std::string request = id_ + " " + name_;
  connection_->Publish(subjects_.join, reinterpret_cast<const uint8_t*>(request.data()),
                       request.size());
  asked_ = std::chrono::steady_clock::now();
  ++joinsAsked_;
}

void NatsSessionStream::AskAgain() {
  if (state_ == State::kEnded) return;
  state_ = State::kWaiting;
  buffered_.clear();
  bufferedBytes_ = 0;
  events_.Reset();
  welcome_.Reset();
  Ask();
}

void NatsSessionStream::OnStatus(const NatsStatus& status) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (status.kind != NatsStatus::Kind::kConnected) {
    if (!status.text.empty()) lastFailure_ = status.server + ": " + status.text;
    return;
  }
  // What was published while this viewer was away is lost to it.
  if (everConnected_) AskAgain();
  everConnected_ = true;
}

void NatsSessionStream::OnMessage(const NatsDelivery& message) {
  NatsPieceHeader header;
  const uint8_t* data = message.data;
  bytesReceived_ += message.length;
  if (!ParseNatsPiece(data, message.length, &header)) return;
  const uint8_t* body = data + kNatsPieceHeaderSize;
  const size_t length = message.length - kNatsPieceHeaderSize;
  std::lock_guard<std::mutex> lock(mutex_);
  if (state_ == State::kEnded) return;
  std::vector<uint8_t> whole;
  NatsPieceHeader first;
  if (message.subject == subjects_.events) {
    const NatsPieceJoiner::Result result = events_.Feed(header, body, length, &first, &whole);
    if (result == NatsPieceJoiner::Result::kDropped && state_ == State::kLive) AskAgain();
    if (result != NatsPieceJoiner::Result::kComplete) return;
    if (first.kind == NatsPieceKind::kEnd) {
      state_ = State::kEnded;
      readable_.notify_all();
      return;
    }
    if (first.kind == NatsPieceKind::kBroadcast) TakeBroadcast(first, std::move(whole));
  } else if (message.subject == subjects_.welcome) {
    if (welcome_.Feed(header, body, length, &first, &whole) == NatsPieceJoiner::Result::kComplete &&
        first.kind == NatsPieceKind::kContainer)
      TakeContainer(first, std::move(whole));
  } else if (header.kind == NatsPieceKind::kAnswer && header.count == 1) {
    // Answers are a few bytes: never split.
    Queue(std::vector<uint8_t>(body, body + length));
  }
}

void NatsSessionStream::TakeBroadcast(const NatsPieceHeader& header, std::vector<uint8_t> body) {
  if (state_ == State::kWaiting) {
    if (bufferedBytes_ + body.size() > kMaxJoinerBufferBytes) return AskAgain();
    bufferedBytes_ += body.size();
    buffered_.emplace_back(header.sequence, std::move(body));
    return;
  }
  if (header.sequence != expected_) return AskAgain();
  ++expected_;
  if (header.except != idValue_) Queue(std::move(body));
}

void NatsSessionStream::TakeContainer(const NatsPieceHeader& header, std::vector<uint8_t> body) {
  if (state_ != State::kWaiting) return;  // another joiner's
  const uint64_t after = header.sequence;
  // Usable when nothing between it and the first broadcast buffered was
  // missed; an older one (taken before this viewer subscribed) is not.
  if (!buffered_.empty() && buffered_.front().first > after + 1) return;
  Queue(std::move(body));
  expected_ = after + 1;
  state_ = State::kLive;
  connection_->Unsubscribe(welcomeSid_);
  welcomeSid_ = 0;
  std::deque<std::pair<uint64_t, std::vector<uint8_t>>> buffered;
  buffered.swap(buffered_);
  bufferedBytes_ = 0;
  for (auto& [sequence, frames] : buffered) {
    if (sequence <= after) continue;
    NatsPieceHeader again;
    again.sequence = sequence;
    TakeBroadcast(again, std::move(frames));
    if (state_ != State::kLive) return;
  }
}

void NatsSessionStream::Queue(std::vector<uint8_t> frames) {
  if (frames.empty()) return;
  if (unreadBytes_ + frames.size() > kMaxUnreadBytes) {
    // The reader fell behind: keep the frame it is in the middle of, drop
    // the rest and start again from a full update.
    while (unread_.size() > (unreadOffset_ ? 1u : 0u)) {
      unreadBytes_ -= unread_.back().size();
      unread_.pop_back();
    }
    return AskAgain();
  }
  unreadBytes_ += frames.size();
  unread_.push_back(std::move(frames));
  readable_.notify_all();
}

int NatsSessionStream::TryReceive(uint8_t* buffer, size_t capacity) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (unread_.empty()) {
    if (state_ == State::kEnded) return 0;
    if (state_ == State::kWaiting && std::chrono::steady_clock::now() - asked_ > kJoinRetry)
      AskAgain();
    return kWouldBlock;
  }
  std::vector<uint8_t>& front = unread_.front();
  const size_t count = std::min(capacity, front.size() - unreadOffset_);
  std::memcpy(buffer, front.data() + unreadOffset_, count);
  unreadOffset_ += count;
  if (unreadOffset_ == front.size()) {
    unreadBytes_ -= front.size();
    unread_.pop_front();
    unreadOffset_ = 0;
  }
  return static_cast<int>(count);
}

bool NatsSessionStream::WaitReadable(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Woken at least this often while it waits for a full update, to ask
  // again when none came.
  const int wait = state_ == State::kWaiting ? std::min<int>(timeoutMs, int(kJoinRetry.count())) : timeoutMs;
  return readable_.wait_for(lock, std::chrono::milliseconds(wait), [this] {
    return !unread_.empty() || state_ == State::kEnded || interrupted_;
  });
}

int NatsSessionStream::TrySend(const uint8_t* data, size_t length) {
  outgoing_.insert(outgoing_.end(), data, data + length);
  size_t whole = 0;
  while (outgoing_.size() - whole >= kEventHeaderSize) {
    const uint32_t frame = FrameLength(outgoing_, whole);
    // Longer than the presenter takes from a viewer: it would cut this one off.
    if (frame > kEventHeaderSize + kMaxViewerFramePayload) return kFailed;
    if (outgoing_.size() - whole < frame) break;
    whole += frame;
  }
  if (whole > 0) {
    const std::string subject = subjects_.UpSubject(id_);
    const NatsConnection::PublishResult result = connection_->Publish(subject, outgoing_.data(), whole);
    // Lost while the server is away, as input over a broken link would be.
    if (result == NatsConnection::PublishResult::kTooLarge) return kFailed;
    outgoing_.erase(outgoing_.begin(), outgoing_.begin() + static_cast<std::ptrdiff_t>(whole));
  }
  return static_cast<int>(length);
}

void NatsSessionStream::Interrupt() {
  std::lock_guard<std::mutex> lock(mutex_);
  interrupted_ = true;
  readable_.notify_all();
}

void NatsSessionStream::Close() {
  if (!connection_) return;
  // Tells the presenter this viewer is gone, so that it is not counted
  // until forgotten.
  if (connection_->Connected()) {
    connection_->Publish(subjects_.UpSubject(id_), nullptr, 0);
    connection_->Flush(std::chrono::milliseconds(500));
  }
  connection_->Stop();
  connection_.reset();
}

std::unique_ptr<NatsSessionStream> JoinNatsSession(const std::string& urls, const std::string& session,
                                                   const std::string& name, double seconds,
                                                   std::string* error) {
  NatsOptions options;
  options.name = "zk viewer";
  if (!ParseNatsUrlList(urls, &options.servers, error)) return nullptr;
  NatsSessionSubjects subjects;
  if (!MakeSessionSubjects(session, &subjects)) {
    *error = "not a session name: " + session;
    return nullptr;
  }
  auto stream = std::make_unique<NatsSessionStream>(std::move(options), subjects, name);
  const auto wait = std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
  if (!stream->Start(wait, error)) {
    *error += " at " + urls;
    return nullptr;
  }
  return stream;
}
