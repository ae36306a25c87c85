#include "PresenterHost.h"

#include <algorithm>
#include <cstdio>

#include "EventRouting.h"
#include "JoinHandshake.h"
#include "PeerLimits.h"
#include "events/ControlTokenMessages.h"
#include "events/JoinMessages.h"
#include "events/ProtocolMessages.h"

namespace {
// The library signals every event it queues, so the wait's end only matters
// for the figures' report and for noticing a stop: a longer wait costs a
// still screen fewer wake-ups. While draining is paused nothing signals.
constexpr double kDrainWaitSeconds = 0.25;
constexpr DWORD kPausedCheckMs = 20;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
}  // namespace

PresenterHost::PresenterHost(ZKLibrary& zk, const PresenterOptions& options)
    : zk_(zk), options_(options), start_(std::chrono::steady_clock::now()) {}

PresenterHost::~PresenterHost() {
  stop_ = true;
  if (admission_) admission_->Stop();
  audience_.reset();
  for (auto& link : Links()) link->Close();
}

bool PresenterHost::Listen(std::string* error) {
  if (!options_.natsServers.empty()) return ListenThroughNats(error);
  admission_ = std::make_unique<ViewerAdmission>(
      options_.admission, [this](ViewerAdmission::Admitted& viewer) { return TakeViewer(viewer); });
  return admission_->Listen(error);
}

bool PresenterHost::ListenThroughNats(std::string* error) {
  NatsOptions nats;
  nats.name = "zkhost present";
  if (!ParseNatsUrlList(options_.natsServers, &nats.servers, error)) return false;
  NatsSessionSubjects subjects;
  if (!MakeSessionSubjects(options_.natsSession, &subjects)) {
    *error = "not a session name (letters, digits, - and _): " + options_.natsSession;
    return false;
  }
  // Numbered from the same count as direct viewers, so that the commands
  // name both alike.
  auto numbers = [this] {
    std::lock_guard<std::mutex> lock(linksMutex_);
    return nextViewerId_++;
  };
  auto sink = [this](uint32_t viewer, uint32_t type, const std::vector<uint8_t>& payload) {
    OnViewerEvent(viewer, type, payload);
  };
  audience_ = std::make_unique<NatsAudience>(std::move(nats), subjects, numbers, sink);
  return audience_->Start(std::chrono::seconds(10), error);
}

bool PresenterHost::TakeViewer(ViewerAdmission::Admitted& viewer) {
  auto sink = [this](ViewerLink& from, uint32_t type, const std::vector<uint8_t>& payload) {
    OnViewerEvent(from.Id(), type, payload);
  };
  std::shared_ptr<ViewerLink> link;
  uint32_t tag;
  {
    std::lock_guard<std::mutex> lock(linksMutex_);
    if (stop_ || links_.size() >= kMaxViewerConnections) {
      std::lock_guard<std::mutex> figures(figuresMutex_);
      ++figures_.refusedConnections;
      return false;
    }
    const uint32_t id = nextViewerId_++;
    // Nothing has been sent past the challenge yet: the welcome comes first.
    std::atomic<bool> never{false};
    const JoinLimits limits = {std::chrono::steady_clock::now(), &never};
    if (!WelcomeViewer(*viewer.stream, id, limits)) return true;  // gone: taken, and dropped
    link = std::make_shared<ViewerLink>(std::move(viewer.stream), id, viewer.name, viewer.address,
                                        options_.backlogBound, sink);
    // Held back from the ordinary stream before the drain thread sees it.
    tag = NewTag(*link);
    link->AwaitFullUpdate(tag);
    links_.push_back(link);
  }
  {
    std::lock_guard<std::mutex> lock(figuresMutex_);
    ++figures_.viewersAccepted;
  }
  link->Start();
  zk_.RequestFullUpdate(tag);
  return true;
}

void PresenterHost::OnViewerEvent(uint32_t viewer, uint32_t type,
                                  const std::vector<uint8_t>& payload) {
  const uint32_t size = static_cast<uint32_t>(payload.size());
  std::lock_guard<std::mutex> lock(rulesMutex_);
  // Posted under the lock: input of a viewer that just lost control cannot
  // follow the first input of the one that took it, and marks reach the
  // library in the order the gate counted them.
  switch (RouteViewerEvent(type, payload.data(), size, control_.HeldToken(viewer))) {
    case ViewerEventRoute::kToLibrary:
      Receive(viewer, type, payload, false);
      break;
    case ViewerEventRoute::kToAnnotation:
      PassAnnotation(viewer, type, payload);
      break;
    case ViewerEventRoute::kToTokenService:
      ServeControlRequest(viewer, type);
      break;
    case ViewerEventRoute::kRefused:
      RefuseInput(viewer);
      break;
    case ViewerEventRoute::kDropped:
      break;
  }
}

void PresenterHost::PassAnnotation(uint32_t viewer, uint32_t type,
                                   const std::vector<uint8_t>& payload) {
  const uint32_t size = static_cast<uint32_t>(payload.size());
  switch (annotation_.FromViewer(viewer, type, payload.data(), size)) {
    case AnnotationGate::Verdict::kToEveryone:
      return Receive(viewer, type, payload, true);
    case AnnotationGate::Verdict::kToPresenter:
      return Receive(viewer, type, payload, false);
    case AnnotationGate::Verdict::kRefused: {
      std::lock_guard<std::mutex> figures(figuresMutex_);
      ++figures_.refusedAnnotations;
      return;
    }
  }
}

void PresenterHost::RefuseInput(uint32_t viewer) {
  {
    std::lock_guard<std::mutex> figures(figuresMutex_);
    ++figures_.refusedInput;
  }
  // Told once: a viewer that goes on sending learns nothing new from a
  // cancel per event, and one that does not read would pile them up.
  if (cancelled_.insert(viewer).second) Cancel(viewer);
}

void PresenterHost::AllowAnnotation(bool allowed) {
  std::lock_guard<std::mutex> lock(rulesMutex_);
  annotation_.SetAllowed(allowed);
}

void PresenterHost::ServeControlRequest(uint32_t viewer, uint32_t type) {
  if (type == ZKH_RELEASECONTROL) {
    if (control_.Release(viewer) && notice_) notice_(Describe(viewer) + " gave control back");
    return;
  }
  // A viewer that holds control had the presenter's consent: asking again,
  // it gets a new token at once.
  if (options_.allowControl || control_.HeldToken(viewer) != 0)
    return GrantControl(viewer, control_.Request(viewer));
  if (control_.Ask(viewer) && notice_)
    notice_(Describe(viewer) + " asks for control: allow " + std::to_string(viewer) + " or deny " +
            std::to_string(viewer));
}

void PresenterHost::GrantControl(uint32_t viewer, const ControlTokens::Grant& grant) {
  cancelled_.erase(viewer);
  Answer(viewer, MakeMessageFrame(ZKH_GRANTCONTROL, ControlGrantMessage{grant.token}));
  if (grant.preempted != 0) Cancel(grant.preempted);
  {
    std::lock_guard<std::mutex> figures(figuresMutex_);
    ++figures_.controlGrants;
  }
  if (notice_) notice_(Describe(viewer) + " takes control with token " + std::to_string(grant.token));
}

bool PresenterHost::AllowControl(uint32_t viewer) {
  const bool known = Knows(viewer);
  std::lock_guard<std::mutex> lock(rulesMutex_);
  ControlTokens::Grant grant;
  if (!known || !control_.Allow(viewer, &grant)) return false;
  GrantControl(viewer, grant);
  return true;
}

bool PresenterHost::DenyControl(uint32_t viewer) {
  const bool known = Knows(viewer);
  std::lock_guard<std::mutex> lock(rulesMutex_);
  if (!known || !control_.Deny(viewer)) return false;
  Answer(viewer, MakeMessageFrame(ZKH_DENYCONTROL, ControlDenialMessage{}));
  if (notice_) notice_(Describe(viewer) + " was denied control");
  return true;
}

uint32_t PresenterHost::RevokeControl() {
  std::lock_guard<std::mutex> lock(rulesMutex_);
  const uint32_t holder = control_.Revoke();
  if (holder != 0 && Knows(holder)) {
    // Its input is refused from now on; the cancel tells it so.
    Cancel(holder);
    cancelled_.insert(holder);
    if (notice_) notice_("control taken back from " + Describe(holder));
  }
  return holder;
}

std::vector<ViewerInfo> PresenterHost::Viewers() {
  std::vector<std::shared_ptr<ViewerLink>> links = Links();
  std::lock_guard<std::mutex> lock(rulesMutex_);
  std::vector<ViewerInfo> viewers;
  for (const auto& link : links) {
    if (link->IsClosed()) continue;
    viewers.push_back({link->Id(), link->Name(), link->Address(),
                       control_.HeldToken(link->Id()) != 0,
                       control_.Asking().count(link->Id()) > 0});
  }
  if (audience_)
    for (const NatsViewerInfo& viewer : audience_->Viewers())
      viewers.push_back({viewer.number, viewer.name, "nats " + viewer.id,
                         control_.HeldToken(viewer.number) != 0,
                         control_.Asking().count(viewer.number) > 0});
  return viewers;
}

std::string PresenterHost::Describe(uint32_t viewer) const {
  std::string name;
  if (std::shared_ptr<ViewerLink> link = FindLink(viewer)) name = link->Name();
  else if (audience_) name = audience_->NameOf(viewer);
  return "viewer " + std::to_string(viewer) + " (" + name + ")";
}

void PresenterHost::Cancel(uint32_t viewer) {
  Answer(viewer, MakeMessageFrame(ZKP_CANCELINPUTCONTROL, CancelInputControlMessage{}));
}

void PresenterHost::Answer(uint32_t viewer, const WireFrame& frame) {
  if (std::shared_ptr<ViewerLink> link = FindLink(viewer)) return link->Answer(frame);
  if (audience_) audience_->SendTo(viewer, frame);
}

bool PresenterHost::Knows(uint32_t viewer) const {
  return FindLink(viewer) != nullptr || (audience_ && audience_->Knows(viewer));
}

std::shared_ptr<ViewerLink> PresenterHost::FindLink(uint32_t id) const {
  std::lock_guard<std::mutex> lock(linksMutex_);
  for (const auto& link : links_)
    if (link->Id() == id) return link;
  return nullptr;
}

void PresenterHost::Receive(uint32_t viewer, uint32_t type, const std::vector<uint8_t>& payload,
                            bool relay) {
  ZKEvent event = {type, static_cast<uint32_t>(payload.size()),
                   const_cast<uint8_t*>(payload.data())};
  if (viewerObserver_) viewerObserver_(viewer, event);
  // The others see a viewer's marks as it makes them: the presenter's
  // library sends no received mark again.
  if (relay) Relay(viewer, MakeWireFrame(type, event.size, event.payload));
  zk_.PostEvent(&event);
}

void PresenterHost::Relay(uint32_t from, const WireFrame& frame) {
  std::vector<std::shared_ptr<ViewerLink>> links = Links();
  // One publish for every NATS viewer but the one that made the mark.
  if (audience_) audience_->Broadcast(frame, from);
  std::lock_guard<std::mutex> lock(figuresMutex_);
  for (auto& link : links)
    if (link->Id() != from) OfferEvent(*link, frame);
}

uint32_t PresenterHost::NewTag(const ViewerLink& link) {
  // The tag names the viewer; the low half tells its requests apart, so that
  // a container answering an older request is not taken for the newest.
  uint32_t sequence = nextTag_++ & 0xFFFF;
  return link.Id() << 16 | (sequence ? sequence : 1);
}

void PresenterHost::Resynchronise(ViewerLink& link) {
  uint32_t tag = NewTag(link);
  link.AwaitFullUpdate(tag);
  zk_.RequestFullUpdate(tag);
}

void PresenterHost::Serve(double seconds, double reportEvery, const Reporter& report) {
  double nextReport = reportEvery;
  std::string lastCounts;  // of the figures last reported, time left out
  while (!stop_ && (seconds <= 0 || SecondsSince(start_) < seconds)) {
    if (paused_) {
      Sleep(kPausedCheckMs);
    } else {
      // Drained after a timeout too: one signal stands for any number of
      // events, and events left behind when draining paused have had
      // theirs. A throttled presenter queues nothing new to signal again.
      double wait = kDrainWaitSeconds;
      if (report && reportEvery > 0) wait = std::min(wait, std::max(0.0, nextReport - SecondsSince(start_)));
      zk_.WaitForEvents(static_cast<uint32_t>(wait * 1000));
      DrainOnce();
      // Joiners that asked close together share one full update.
      if (audience_)
        if (const uint32_t tag = audience_->TakeJoinBatch()) zk_.RequestFullUpdate(tag);
    }
    ReapClosedLinks();
    if (report && reportEvery > 0 && SecondsSince(start_) >= nextReport) {
      PresenterFigures figures = Figures();
      PresenterFigures counts = figures;
      counts.seconds = 0;
      std::string line = FormatFigures(counts);
      if (line != lastCounts) report(figures);
      lastCounts = std::move(line);
      nextReport += reportEvery;
    }
  }
  stop_ = true;
  if (admission_) admission_->Stop();
  if (audience_) audience_->Stop();
  for (auto& link : Links()) link->Close();
  ReapClosedLinks();
}

void PresenterHost::DrainOnce() {
  // The signal may stand for several events: take until the queue is empty.
  ZKEvent event;
  while (!paused_ && zk_.GetQueuedEvent(&event)) {
    if (observer_) observer_(event);
    Distribute(event);
    if (event.payload) GlobalFree(event.payload);  // the host owns what it takes
  }
}

void PresenterHost::Distribute(const ZKEvent& event) {
  if (event.type == ZKP_CANCELINPUTCONTROL) {
    // The library refused input it was given, and only the holder's input
    // reaches it: the cancel is the holder's alone.
    std::lock_guard<std::mutex> rules(rulesMutex_);
    if (control_.Holder() != 0) Cancel(control_.Holder());
    return;
  }
  if (event.type != ZKP_FULLUPDATE) {
    std::lock_guard<std::mutex> rules(rulesMutex_);
    annotation_.FromPresenter(event.type, event.payload, event.size);
  }
  WireFrame frame = MakeWireFrame(event.type, event.size, event.payload);
  std::vector<std::shared_ptr<ViewerLink>> links = Links();
  if (event.type == ZKP_FULLUPDATE) {
    // A container goes only to the viewer whose request it answers, or
    // once to every NATS joiner.
    FullUpdateHeader header;
    if (!ParseMessage(event.payload, event.size, &header)) return;
    if (audience_ && audience_->Awaits(header.requestTag)) {
      audience_->PublishContainer({frame, lastPointer_});
      std::lock_guard<std::mutex> lock(figuresMutex_);
      ++figures_.fullUpdates;
      figures_.fullUpdateBytes += event.size;
      return;
    }
    std::lock_guard<std::mutex> lock(figuresMutex_);
    for (auto& link : links) {
      if (!link->OfferContainer(header.requestTag, frame)) continue;
      ++figures_.fullUpdates;
      figures_.fullUpdateBytes += event.size;
      if (lastPointer_) OfferEvent(*link, lastPointer_);
    }
    return;
  }
  if (audience_) audience_->Broadcast(frame);
  std::lock_guard<std::mutex> lock(figuresMutex_);
  if (event.type == ZKP_MOUSEPOSITION) lastPointer_ = frame;
  if (event.type == ZKP_DISPLAYUPDATE) {
    ++figures_.displayUpdates;
    DisplayUpdateMessage update;
    if (ParseMessage(event.payload, event.size, &update))
      figures_.updatePixelBytes += 3ull * update.width * update.height;
    figures_.updatePayloadBytes += event.size;
  } else {
    ++figures_.otherEvents;
  }
  for (auto& link : links) OfferEvent(*link, frame);
}

void PresenterHost::OfferEvent(ViewerLink& link, const WireFrame& frame) {
  if (link.OfferEvent(frame) != ViewerLink::Offer::kOverflow) return;
  ++figures_.resyncs;
  Resynchronise(link);
}

void PresenterHost::ReapClosedLinks() {
  std::vector<std::shared_ptr<ViewerLink>> closed;
  {
    std::lock_guard<std::mutex> lock(linksMutex_);
    for (auto it = links_.begin(); it != links_.end();) {
      if ((*it)->IsClosed()) {
        closed.push_back(*it);
        it = links_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& link : closed) {
    link->Close();
    ForgetViewer(link->Id());
    ReportLeaving(*link);
    std::lock_guard<std::mutex> lock(figuresMutex_);
    closedLinkBytes_ += link->BytesSent();
  }
  if (audience_)
    for (uint32_t viewer : audience_->TakeLeavers()) ForgetViewer(viewer);
}

void PresenterHost::ForgetViewer(uint32_t viewer) {
  std::lock_guard<std::mutex> lock(rulesMutex_);
  control_.Forget(viewer);
  cancelled_.erase(viewer);
  annotation_.ViewerLeft(viewer);
}

void PresenterHost::ReportLeaving(const ViewerLink& link) {
  // Peers that come and go in a loop would fill the log: past a few lines a
  // second they are only counted, and the count goes with the next line.
  if (!leavingLines_.Take()) {
    ++unreportedLeaving_;
    return;
  }
  if (unreportedLeaving_ > 0)
    std::fprintf(stderr, "%llu more viewers left\n",
                 static_cast<unsigned long long>(unreportedLeaving_));
  unreportedLeaving_ = 0;
  std::fprintf(stderr, "viewer %u left: %s\n", link.Id(), link.CloseReason().c_str());
}

std::vector<std::shared_ptr<ViewerLink>> PresenterHost::Links() const {
  std::lock_guard<std::mutex> lock(linksMutex_);
  return links_;
}

PresenterFigures PresenterHost::Figures() const {
  std::vector<std::shared_ptr<ViewerLink>> links = Links();
  const uint64_t published = audience_ ? audience_->BytesPublished() : 0;
  const size_t natsViewers = audience_ ? audience_->Viewers().size() : 0;
  const uint64_t natsSeen = audience_ ? audience_->ViewersSeen() : 0;
  std::lock_guard<std::mutex> lock(figuresMutex_);
  PresenterFigures figures = figures_;
  figures.seconds = SecondsSince(start_);
  figures.wireBytes = closedLinkBytes_;
  for (auto& link : links) figures.wireBytes += link->BytesSent();
  figures.viewersConnected = static_cast<uint32_t>(links.size());
  figures.wireBytes += published;
  figures.viewersConnected += static_cast<uint32_t>(natsViewers);
  figures.viewersAccepted += static_cast<uint32_t>(natsSeen);
  if (admission_) {
    const AdmissionFigures admission = admission_->Figures();
    figures.wrongKeys = admission.wrongKeys;
    figures.failedJoins = admission.failedJoins;
    figures.refusedConnections += admission.refusedConnections;
  }
  return figures;
}

std::string FormatFigures(const PresenterFigures& f) {
  char line[512];
  std::snprintf(line, sizeof line,
                "figures seconds=%.2f updates=%llu update_pixel_bytes=%llu update_bytes=%llu "
                "other_events=%llu full_updates=%llu full_update_bytes=%llu wire_bytes=%llu "
                "resyncs=%llu control_grants=%llu refused_input=%llu viewers=%u",
                f.seconds, static_cast<unsigned long long>(f.displayUpdates),
                static_cast<unsigned long long>(f.updatePixelBytes),
                static_cast<unsigned long long>(f.updatePayloadBytes),
                static_cast<unsigned long long>(f.otherEvents),
                static_cast<unsigned long long>(f.fullUpdates),
                static_cast<unsigned long long>(f.fullUpdateBytes),
                static_cast<unsigned long long>(f.wireBytes),
                static_cast<unsigned long long>(f.resyncs),
                static_cast<unsigned long long>(f.controlGrants),
                static_cast<unsigned long long>(f.refusedInput), f.viewersAccepted);
  return line;
}

std::string DescribeFigures(const PresenterFigures& f) {
  double ratio = f.updatePayloadBytes ? double(f.updatePixelBytes) / f.updatePayloadBytes : 0;
  double rate = f.seconds > 0 ? f.wireBytes / f.seconds / 1024 : 0;
  char text[768];
  std::snprintf(text, sizeof text,
                "presenter ran %.1f s for %u viewer(s)\n"
                "  display updates sent: %llu (%.1f KB of pixels in %.1f KB: compression ratio "
                "%.1f)\n"
                "  full updates sent: %llu (%.1f KB); slow viewers resynchronised: %llu\n"
                "  bytes sent to viewers: %.1f KB (%.1f KB/s)\n",
                f.seconds, f.viewersAccepted, static_cast<unsigned long long>(f.displayUpdates),
                f.updatePixelBytes / 1024.0, f.updatePayloadBytes / 1024.0, ratio,
                static_cast<unsigned long long>(f.fullUpdates), f.fullUpdateBytes / 1024.0,
                static_cast<unsigned long long>(f.resyncs), f.wireBytes / 1024.0, rate);
  return text;
}
