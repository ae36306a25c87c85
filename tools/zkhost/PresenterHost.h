#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "AnnotationGate.h"
#include "ControlTokens.h"
#include "NatsAudience.h"
#include "RateBound.h"
#include "ViewerAdmission.h"
#include "ViewerLink.h"
#include "ZKLibrary.h"

// What the presenter's host has seen and sent since it started.
struct PresenterFigures {
  double seconds = 0;
  uint64_t displayUpdates = 0;     // ordinary display updates drained
  uint64_t updatePixelBytes = 0;   // 24-bit size of the rectangles they carry
  uint64_t updatePayloadBytes = 0;
  uint64_t otherEvents = 0;        // display formats, palettes, pointer, ...
  uint64_t fullUpdates = 0;        // containers delivered to a viewer
  uint64_t fullUpdateBytes = 0;
  uint64_t wireBytes = 0;          // sent to all viewers, headers included
  uint64_t resyncs = 0;            // slow viewers given a new full update
  uint64_t controlGrants = 0;      // tokens handed out by the token service
  uint64_t refusedInput = 0;       // input events from viewers without control
  uint64_t refusedAnnotations = 0; // annotation messages the gate kept out
  uint64_t refusedConnections = 0; // connections beyond the bounds, closed at once
  uint64_t wrongKeys = 0;          // joins refused for their key
  uint64_t failedJoins = 0;        // TLS or join that failed or ran out of time
  uint32_t viewersAccepted = 0;
  uint32_t viewersConnected = 0;
};

struct PresenterOptions {
  // Where viewers connect (TLS), the join key they must prove, the
  // certificate they pin, and a bridge port if any (ViewerAdmission.h).
  AdmissionOptions admission;
  // Grant input control without asking the presenter first.
  bool allowControl = false;
  // Backlog of one viewer beyond which it is resynchronised: well above a
  // full update of a large screen.
  size_t backlogBound = 8u << 20;
  // Viewers through NATS servers instead of direct links: the servers'
  // URLs (comma-separated) and the session's name. Empty: direct.
  std::string natsServers;
  std::string natsSession;
};

// A viewer as the presenter's person sees it.
struct ViewerInfo {
  uint32_t id;
  std::string name;
  std::string address;
  bool holdsControl;
  bool asksForControl;
};

// PresenterHost serves one presenter session to any number of viewers over
// TCP. It drains the library's outgoing queue and hands every event to every
// live viewer; each viewer that connects (or falls too far behind) gets its
// own full update, requested with a tag that names it. Viewers talk only to
// the presenter: what a viewer sends goes into the presenter's library, and
// the marks that the annotation gate lets through go on to the other viewers
// as well. What any viewer may make it hold is bounded (PeerLimits.h).
//
// Only viewers that ViewerAdmission admitted (the encrypted link, the join
// key) are served; they are welcomed with the number that names them. With
// NATS servers instead, the audience is a NatsAudience: every event is
// published once and the servers fan it out, joiners share full updates,
// and the same rules hold for what its viewers send.
//
// It also runs the token service (ControlTokens): a viewer asks for input
// control and, once the presenter's person allows it (or at once with
// allowControl), gets a token; input goes to the library only from the
// viewer that holds control, and a viewer whose input is refused, or that
// loses control to a newer grant or to the presenter's revoke, is sent the
// cancel, once until it is granted control again.
//
// Threads: Listen and Serve on one host thread, Stop and the control and
// viewer queries from any; ViewerAdmission's threads; each viewer link runs
// two threads of its own. The session must have been started (ZK_Init,
// position, capture) before Serve.
class PresenterHost {
 public:
  PresenterHost(ZKLibrary& zk, const PresenterOptions& options);
  ~PresenterHost();
  PresenterHost(const PresenterHost&) = delete;
  PresenterHost& operator=(const PresenterHost&) = delete;

  bool Listen(std::string* error);
  uint16_t Port() const { return admission_ ? admission_->Port() : 0; }
  bool ThroughNats() const { return audience_ != nullptr; }
  uint16_t BridgePort() const { return admission_ ? admission_->BridgePort() : 0; }
  using Reporter = std::function<void(const PresenterFigures&)>;
  // Drains and distributes until Stop is called or `seconds` (0: no limit)
  // have passed, then closes every viewer. With a reporter, hands it the
  // figures every `reportEvery` seconds while any of them moves: a still
  // session reports nothing (each line written costs a wake-up under Wine).
  void Serve(double seconds, double reportEvery = 0, const Reporter& report = {});
  void Stop() { stop_ = true; }
  bool Stopped() const { return stop_; }
  // While paused, nothing is taken from the library's queue.
  void PauseDraining(bool paused) { paused_ = paused; }
  // Sees every event drained, before it is distributed (drain thread). Set
  // before Serve.
  using Observer = std::function<void(const ZKEvent& event)>;
  void SetObserver(Observer observer) { observer_ = std::move(observer); }
  // Hears what happens to input control, as a line for a person (any of the
  // links' threads). Set before Serve.
  using Notice = std::function<void(const std::string& line)>;
  void SetNotice(Notice notice) { notice_ = std::move(notice); }
  // Sees every event a viewer sent that the presenter accepts (a viewer
  // link's thread). Set before Listen.
  using ViewerObserver = std::function<void(uint32_t viewer, const ZKEvent& event)>;
  void SetViewerObserver(ViewerObserver observer) { viewerObserver_ = std::move(observer); }
  // Whether viewers may annotate (the presenter's `annotation on|off`);
  // forbidden until allowed. Any thread.
  void AllowAnnotation(bool allowed);
  // The presenter's answers to requests for control: false when that viewer
  // does not ask. Any thread.
  bool AllowControl(uint32_t viewer);
  bool DenyControl(uint32_t viewer);
  // Takes control back: the viewer that held it, or 0.
  uint32_t RevokeControl();
  std::vector<ViewerInfo> Viewers();
  PresenterFigures Figures() const;

 private:
  // An admission thread: welcomes the viewer and serves it.
  bool TakeViewer(ViewerAdmission::Admitted& viewer);
  // A link's receiving thread: what its viewer sent. The rest below it run
  // under rulesMutex_.
  // NATS viewers' arrive on the audience's reading thread.
  void OnViewerEvent(uint32_t viewer, uint32_t type, const std::vector<uint8_t>& payload);
  void PassAnnotation(uint32_t viewer, uint32_t type, const std::vector<uint8_t>& payload);
  void RefuseInput(uint32_t viewer);
  void ServeControlRequest(uint32_t viewer, uint32_t type);
  void GrantControl(uint32_t viewer, const ControlTokens::Grant& grant);
  std::string Describe(uint32_t viewer) const;
  void Cancel(uint32_t viewer);
  // A frame for one viewer alone, by its link or its NATS subject.
  void Answer(uint32_t viewer, const WireFrame& frame);
  bool Knows(uint32_t viewer) const;
  bool ListenThroughNats(std::string* error);
  void ForgetViewer(uint32_t viewer);
  std::shared_ptr<ViewerLink> FindLink(uint32_t id) const;
  // Into the library and, when `relay`, on to the other viewers.
  void Receive(uint32_t viewer, uint32_t type, const std::vector<uint8_t>& payload, bool relay);
  void Relay(uint32_t from, const WireFrame& frame);
  void DrainOnce();
  void Distribute(const ZKEvent& event);
  // Queues an ordinary event for one viewer; one whose backlog overflowed
  // is resynchronised. Under figuresMutex_.
  void OfferEvent(ViewerLink& link, const WireFrame& frame);
  uint32_t NewTag(const ViewerLink& link);
  void Resynchronise(ViewerLink& link);
  void ReapClosedLinks();
  void ReportLeaving(const ViewerLink& link);
  std::vector<std::shared_ptr<ViewerLink>> Links() const;

  ZKLibrary& zk_;
  const PresenterOptions options_;
  std::unique_ptr<ViewerAdmission> admission_;
  std::unique_ptr<NatsAudience> audience_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> paused_{false};
  Observer observer_;
  Notice notice_;
  // Guards the session's rules (the token service, the viewers already told
  // they lack control, the annotation gate); taken alone or before
  // figuresMutex_.
  std::mutex rulesMutex_;
  ControlTokens control_;
  std::set<uint32_t> cancelled_;
  AnnotationGate annotation_;
  ViewerObserver viewerObserver_;

  mutable std::mutex linksMutex_;
  std::vector<std::shared_ptr<ViewerLink>> links_;
  uint32_t nextViewerId_ = 1;
  std::atomic<uint32_t> nextTag_{1};

  mutable std::mutex figuresMutex_;
  PresenterFigures figures_;
  uint64_t closedLinkBytes_ = 0;
  // The presenter sends its pointer only when it moves, and a full update
  // does not carry it: a viewer that joins gets the last one after its
  // container. Drain thread only.
  WireFrame lastPointer_;
  // Lines about viewers that left, and those left out (drain thread only).
  RateBound leavingLines_{5, 20};
  uint64_t unreportedLeaving_ = 0;
  std::chrono::steady_clock::time_point start_;
};

// One line of key=value figures, for scripts that compare runs.
std::string FormatFigures(const PresenterFigures& figures);
// The same for a person: counts, sizes, the compression ratio and the rates.
std::string DescribeFigures(const PresenterFigures& figures);
