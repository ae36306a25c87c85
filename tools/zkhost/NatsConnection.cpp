#include "NatsConnection.h"

#include <algorithm>
#include <utility>

#include "NatsCommands.h"
#include "NatsTransport.h"
#include "TlsStream.h"

namespace {
// A server announces its whole cluster; a list beyond this is not followed.
constexpr size_t kMaxServers = 64;
constexpr size_t kReceiveChunk = 64 * 1024;
// How often the handshake looks at its deadline and the stop flag.
constexpr int kHandshakeWaitMs = 50;

int MsUntil(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, kHandshakeWaitMs));
}
}  // namespace

NatsConnection::NatsConnection(NatsOptions options, MessageHandler onMessage, StatusHandler onStatus)
    : options_(std::move(options)),
      onMessage_(std::move(onMessage)),
      onStatus_(std::move(onStatus)),
      servers_(options_.servers) {}

NatsConnection::~NatsConnection() { Stop(); }

void NatsConnection::Start() {
  reader_ = std::thread([this] { ReadThread(); });
  writer_ = std::thread([this] { WriteThread(); });
}

void NatsConnection::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    linkCancel_ = true;
  }
  changed_.notify_all();
  if (reader_.joinable()) reader_.join();
  if (writer_.joinable()) writer_.join();
}

bool NatsConnection::WaitConnected(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return linkUp_ || stop_; }) && linkUp_;
}

uint64_t NatsConnection::Subscribe(std::string_view subject) {
  if (!IsValidNatsSubject(subject)) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  uint64_t sid = nextSid_++;
  subscriptions_.emplace(sid, std::string(subject));
  if (linkUp_) {
    pending_ += NatsSubCommand(subject, sid);
    changed_.notify_all();
  }
  return sid;
}

// A subscription dropped while a handshake is under way may stay with that
// server; its messages are dropped here, as for any unknown sid.
void NatsConnection::Unsubscribe(uint64_t sid) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (subscriptions_.erase(sid) == 0 || !linkUp_) return;
  pending_ += NatsUnsubCommand(sid);
  changed_.notify_all();
}

NatsConnection::PublishResult NatsConnection::Publish(std::string_view subject, const uint8_t* data,
                                                      size_t length) {
  if (!IsValidNatsSubject(subject)) return PublishResult::kBadSubject;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!linkUp_) return PublishResult::kNotConnected;
  if (length > maxPayload_) return PublishResult::kTooLarge;
  if (pending_.size() + inFlight_ + NatsPubSize(subject, length) > options_.maxPendingBytes)
    return PublishResult::kBackedUp;
  AppendNatsPub(&pending_, subject, data, length);
  changed_.notify_all();
  return PublishResult::kQueued;
}

bool NatsConnection::Flush(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!linkUp_) return false;
  const uint64_t epoch = epoch_;
  const uint64_t ticket = ++pingsQueued_;
  pending_ += kNatsPing;
  changed_.notify_all();
  auto answered = [&] { return epoch_ == epoch && pongsReceived_ >= ticket; };
  changed_.wait_for(lock, timeout, [&] { return answered() || epoch_ != epoch || stop_; });
  return answered();
}

bool NatsConnection::Connected() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return linkUp_;
}

size_t NatsConnection::MaxPayload() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return linkUp_ ? maxPayload_ : 0;
}

std::string NatsConnection::CurrentServer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return serverName_;
}

void NatsConnection::ReadThread() {
  size_t failuresInRow = 0;
  while (!stop_) {
    const NatsServerAddress address = NextServer();
    std::string why;
    bool wasUp = ServeServer(address, &why);
    if (stop_) break;
    Report(wasUp ? NatsStatus::Kind::kDisconnected : NatsStatus::Kind::kConnectFailed, address, why);
    failuresInRow = wasUp ? 0 : failuresInRow + 1;
    if (failuresInRow < servers_.size()) continue;
    // Every known server failed in turn: wait before the next round, so
    // that a cluster that is down is not hammered.
    failuresInRow = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, options_.reconnectWait, [&] { return stop_.load(); });
  }
}

const NatsServerAddress& NatsConnection::NextServer() {
  const NatsServerAddress& address = servers_[nextServer_ % servers_.size()];
  nextServer_ = (nextServer_ + 1) % servers_.size();
  return address;
}

bool NatsConnection::ServeServer(const NatsServerAddress& address, std::string* why) {
  linkCancel_ = stop_.load();
  current_ = address;
  live_ = false;
  infoSeen_ = false;
  handshakePongs_ = 0;
  serverError_.clear();
  replies_.clear();
  NatsParser parser(*this);
  std::unique_ptr<ByteStream> stream = Open(address, parser, why);
  if (!stream) return false;
  BringUp(*stream, address);
  Serve(*stream, parser, why);
  TearDown();
  stream->Close();
  return true;
}

std::unique_ptr<ByteStream> NatsConnection::Open(const NatsServerAddress& address, NatsParser& parser,
                                                 std::string* why) {
  const Clock::time_point deadline = Clock::now() + options_.handshakeTimeLimit;
  std::unique_ptr<ByteStream> stream = ConnectNatsTransport(address.host, address.port, deadline, linkCancel_, why);
  if (!stream || !ReadUntil(*stream, parser, deadline, [&] { return infoSeen_; }, why)) return nullptr;
  // The server's INFO comes in the clear; TLS, when either side wants it,
  // starts right after it.
  bool tls = address.tls || serverWantsTls_;
  if (tls && !(stream = StartTls(std::move(stream), deadline, why))) return nullptr;
  std::string hello = NatsConnectCommand(address, options_.name, tls) + SubscriptionsForHandshake();
  hello += kNatsPing;
  if (!stream->SendAll(reinterpret_cast<const uint8_t*>(hello.data()), hello.size(), linkCancel_)) {
    *why = "sending CONNECT failed";
    return nullptr;
  }
  // The PONG proves that the server took CONNECT and the subscriptions.
  if (!ReadUntil(*stream, parser, deadline, [&] { return handshakePongs_ > 0; }, why)) return nullptr;
  return stream;
}

std::unique_ptr<ByteStream> NatsConnection::StartTls(std::unique_ptr<ByteStream> stream,
                                                     Clock::time_point deadline, std::string* why) {
  if (!options_.pinned) {
    *why = "the server uses TLS, and no certificate fingerprint was given to check it";
    return nullptr;
  }
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return TlsStream::Connect(std::move(stream), options_.pin, std::max(left, std::chrono::milliseconds(1)),
                            linkCancel_, why);
}

bool NatsConnection::ReadUntil(ByteStream& stream, NatsParser& parser, Clock::time_point deadline,
                               const std::function<bool()>& done, std::string* why) {
  for (;;) {
    if (done()) return true;
    if (!serverError_.empty()) {
      *why = "the server refused the connection: " + serverError_;
      return false;
    }
    if (linkCancel_) {
      *why = "stopped";
      return false;
    }
    if (Clock::now() >= deadline) {
      *why = "the server did not complete the handshake in time";
      return false;
    }
    int received = ReceiveInto(stream, parser, why);
    if (received < 0) return false;
    if (received == 0) stream.WaitReadable(MsUntil(deadline));
    if (!replies_.empty() && !stream.SendAll(reinterpret_cast<const uint8_t*>(replies_.data()), replies_.size(),
                                             linkCancel_)) {
      *why = "sending to the server failed";
      return false;
    }
    replies_.clear();
  }
}

// The count fed to the parser, 0 when nothing was waiting, -1 (and `why`)
// when the link ended.
int NatsConnection::ReceiveInto(ByteStream& stream, NatsParser& parser, std::string* why) {
  uint8_t buffer[kReceiveChunk];
  int received = stream.TryReceive(buffer, sizeof buffer);
  if (received == ByteStream::kWouldBlock) return 0;
  if (received == 0) {
    *why = "the server closed the connection";
    return -1;
  }
  if (received < 0) {
    *why = "the connection failed";
    return -1;
  }
  if (!parser.Feed(buffer, static_cast<size_t>(received))) {
    *why = parser.Error();
    return -1;
  }
  return received;
}

std::string NatsConnection::SubscriptionsForHandshake() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string commands;
  for (const auto& [sid, subject] : subscriptions_) commands += NatsSubCommand(subject, sid);
  sentInHandshake_ = nextSid_ - 1;
  return commands;
}

void NatsConnection::BringUp(ByteStream& stream, const NatsServerAddress& address) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stream_ = &stream;
    linkUp_ = true;
    pingsQueued_ = 0;
    pongsReceived_ = 0;
    serverName_ = address.Describe();
    // Subscriptions made while the handshake was under way.
    for (auto it = subscriptions_.upper_bound(sentInHandshake_); it != subscriptions_.end(); ++it)
      pending_ += NatsSubCommand(it->second, it->first);
  }
  changed_.notify_all();
  live_ = true;
  Report(NatsStatus::Kind::kConnected, address, "");
}

void NatsConnection::Serve(ByteStream& stream, NatsParser& parser, std::string* why) {
  Clock::time_point lastHeard = Clock::now();
  for (;;) {
    if (stop_) {
      *why = "stopped";
      return;
    }
    if (linkCancel_) {
      *why = "sending to the server failed";
      return;
    }
    int received = ReceiveInto(stream, parser, why);
    if (received < 0) return;
    QueueReplies();
    if (received > 0) {
      lastHeard = Clock::now();
      continue;
    }
    if (Clock::now() - lastHeard >= options_.pingInterval) {
      if (!KeepAlive()) {
        *why = "the server stopped answering PINGs";
        return;
      }
      lastHeard = Clock::now();
    }
    stream.WaitReadable(ByteStream::kCancelCheckMs);
  }
}

bool NatsConnection::KeepAlive() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (pingsQueued_ - pongsReceived_ >= 2) return false;
  ++pingsQueued_;
  pending_ += kNatsPing;
  changed_.notify_all();
  return true;
}

// A PONG is owed whatever the buffer holds, so it does not count against
// the bound: a server that is not read from stops sending PINGs anyway.
void NatsConnection::QueueReplies() {
  if (replies_.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ += replies_;
  }
  replies_.clear();
  changed_.notify_all();
}

void NatsConnection::TearDown() {
  std::unique_lock<std::mutex> lock(mutex_);
  linkUp_ = false;
  linkCancel_ = true;
  changed_.wait(lock, [&] { return !writerBusy_; });
  // A command half sent cannot be finished on another link; nothing queued
  // for this one is sent on the next.
  pending_.clear();
  stream_ = nullptr;
  ++epoch_;
  serverName_.clear();
  maxPayload_ = 0;
  changed_.notify_all();
}

void NatsConnection::WriteThread() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    if (!linkUp_ || pending_.empty()) {
      changed_.wait(lock);
      continue;
    }
    std::string batch;
    batch.swap(pending_);
    inFlight_ = batch.size();
    writerBusy_ = true;
    ByteStream* stream = stream_;
    lock.unlock();
    bool sent = stream->SendAll(reinterpret_cast<const uint8_t*>(batch.data()), batch.size(), linkCancel_);
    lock.lock();
    writerBusy_ = false;
    inFlight_ = 0;
    if (!sent) linkCancel_ = true;
    changed_.notify_all();
  }
}

void NatsConnection::AddAnnouncedServers(const NatsServerInfo& info) {
  for (const std::string& url : info.connectUrls) {
    NatsServerAddress address;
    if (servers_.size() >= kMaxServers) return;
    if (!ParseNatsAnnouncedUrl(url, current_, &address)) continue;
    bool known = std::any_of(servers_.begin(), servers_.end(),
                             [&](const NatsServerAddress& s) { return s.SameServer(address); });
    if (!known) servers_.push_back(address);
  }
}

void NatsConnection::Report(NatsStatus::Kind kind, const NatsServerAddress& address, std::string text) {
  if (onStatus_) onStatus_(NatsStatus{kind, address.Describe(), std::move(text)});
}

void NatsConnection::OnInfo(const NatsServerInfo& info) {
  infoSeen_ = true;
  serverWantsTls_ = info.tlsRequired;
  AddAnnouncedServers(info);
  std::lock_guard<std::mutex> lock(mutex_);
  maxPayload_ = NatsParser::PayloadLimitFor(info);
}

void NatsConnection::OnMessage(const NatsDelivery& message) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (subscriptions_.count(message.sid) == 0) return;
  }
  if (onMessage_) onMessage_(message);
}

void NatsConnection::OnPing() { replies_ += kNatsPong; }

void NatsConnection::OnPong() {
  if (!live_) {
    ++handshakePongs_;
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++pongsReceived_;
  }
  changed_.notify_all();
}

void NatsConnection::OnServerError(std::string_view text) {
  if (!live_) {
    serverError_.assign(text);
    return;
  }
  Report(NatsStatus::Kind::kServerError, current_, std::string(text));
}
