#include "ViewerAdmission.h"

#include <algorithm>

#include "JoinHandshake.h"
#include "PeerLimits.h"
#include "TlsStream.h"

namespace {
using Clock = std::chrono::steady_clock;

Clock::duration Seconds(double seconds) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}
}  // namespace

ViewerAdmission::ViewerAdmission(const AdmissionOptions& options, Taker taker)
    : options_(options), taker_(std::move(taker)) {}

ViewerAdmission::~ViewerAdmission() { Stop(); }

bool ViewerAdmission::Listen(std::string* error) {
  listener_ = TcpSocket::Listen(options_.port, error);
  if (!listener_.IsOpen()) return false;
  if (options_.bridgePort) {
    bridgeListener_ = TcpSocket::Listen(*options_.bridgePort, error, true);
    if (!bridgeListener_.IsOpen()) return false;
    bridgePort_ = bridgeListener_.LocalPort();
    bridgeAcceptor_ = std::thread(&ViewerAdmission::AcceptLoop, this, &bridgeListener_, false);
  }
  port_ = listener_.LocalPort();
  acceptor_ = std::thread(&ViewerAdmission::AcceptLoop, this, &listener_, true);
  return true;
}

void ViewerAdmission::Stop() {
  stop_ = true;
  listener_.Interrupt();
  bridgeListener_.Interrupt();
  if (acceptor_.joinable()) acceptor_.join();
  if (bridgeAcceptor_.joinable()) bridgeAcceptor_.join();
  std::list<std::unique_ptr<Pending>> pending;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending.swap(pending_);
  }
  for (auto& admission : pending) admission->cancel = true;
  for (auto& admission : pending) admission->thread.join();
}

AdmissionFigures ViewerAdmission::Figures() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return figures_;
}

void ViewerAdmission::AcceptLoop(TcpSocket* listener, bool tls) {
  while (!stop_) {
    TcpSocket socket = listener->Accept(stop_);
    if (!socket.IsOpen()) continue;
    std::unique_lock<std::mutex> lock(mutex_);
    if (!stop_) Begin(lock, std::move(socket), tls);
  }
}

void ViewerAdmission::Begin(std::unique_lock<std::mutex>& lock, TcpSocket socket, bool tls) {
  if (!MakeRoom(lock)) {
    ++figures_.refusedConnections;
    return;  // closed as it goes
  }
  socket.SetSendBuffer(options_.socketSendBuffer);
  pending_.push_back(std::make_unique<Pending>());
  Pending& pending = *pending_.back();
  pending.started = Clock::now();
  pending.thread = std::thread(&ViewerAdmission::Admit, this, std::ref(pending), std::move(socket), tls);
}

// The oldest admission under way makes way for the newcomer when they are
// at their bound; those given up take a moment to end, and at the bound on
// threads the newcomer waits that moment for one.
bool ViewerAdmission::MakeRoom(std::unique_lock<std::mutex>& lock) {
  ReapFinished();
  auto live = [](const std::unique_ptr<Pending>& p) { return !p->cancel && !p->done; };
  if (static_cast<size_t>(std::count_if(pending_.begin(), pending_.end(), live)) >= kMaxPendingJoins)
    (*std::find_if(pending_.begin(), pending_.end(), live))->cancel = true;  // in order of start
  const auto ending = std::chrono::milliseconds(2 * ByteStream::kHandshakeCheckMs);
  return finished_.wait_for(lock, ending, [this] {
    ReapFinished();
    return pending_.size() < kMaxAdmissionThreads;
  });
}

void ViewerAdmission::ReapFinished() {
  for (auto it = pending_.begin(); it != pending_.end();) {
    if ((*it)->done) {
      (*it)->thread.join();
      it = pending_.erase(it);
    } else {
      ++it;
    }
  }
}

void ViewerAdmission::Admit(Pending& pending, TcpSocket socket, bool tls) {
  const std::string address = socket.PeerAddress();
  std::unique_ptr<ByteStream> stream = std::make_unique<TcpSocket>(std::move(socket));
  std::string error;
  if (tls) {
    auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(Seconds(kJoinSeconds));
    stream = TlsStream::Accept(std::move(stream), *options_.identity, limit, pending.cancel, &error);
  }
  if (stream) {
    Judge(std::move(stream), address, pending);
  } else {
    std::lock_guard<std::mutex> lock(mutex_);
    ++figures_.failedJoins;
  }
  pending.done = true;
  finished_.notify_all();
}

void ViewerAdmission::Judge(std::unique_ptr<ByteStream> stream, const std::string& address,
                            Pending& pending) {
  const JoinLimits limits = {pending.started + Seconds(kJoinSeconds), &pending.cancel};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!attempts_.MayTry(address, Clock::now())) {
      ++figures_.wrongKeys;
      return RefuseViewer(*stream, JoinRefusal::kTooManyAttempts, limits);
    }
  }
  Admitted viewer;
  std::string error;
  const JoinVerdict verdict = ChallengeViewer(*stream, options_.joinKey, limits, &viewer.name, &error);
  std::unique_lock<std::mutex> lock(mutex_);
  switch (verdict) {
    case JoinVerdict::kProved:
      attempts_.Succeeded(address);
      lock.unlock();
      viewer.stream = std::move(stream);
      viewer.address = address;
      if (!taker_(viewer)) RefuseViewer(*viewer.stream, JoinRefusal::kFull, limits);
      return;
    case JoinVerdict::kWrongKey:
      attempts_.Failed(address, Clock::now());
      ++figures_.wrongKeys;
      lock.unlock();
      return RefuseViewer(*stream, JoinRefusal::kWrongKey, limits);
    case JoinVerdict::kOtherVersion:
      ++figures_.failedJoins;
      lock.unlock();
      return RefuseViewer(*stream, JoinRefusal::kVersion, limits);
    case JoinVerdict::kBroken:
      ++figures_.failedJoins;
      return;
  }
}
