#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "ByteStream.h"
#include "Invitation.h"
#include "ZKLibrary.h"

struct ViewerOptions {
  std::string host = "127.0.0.1";
  uint16_t port = 5900;
  // The key to prove and the certificate to pin.
  Invitation invitation;
  // Through a presenter's bridge port on this machine: no TLS, the key still.
  bool bridge = false;
  std::string name;  // what the presenter's person sees this viewer as
  int x = 0, y = 0;        // where the session window goes on this screen
  double seconds = 0;      // 0: until the presenter goes
  double connectSeconds = 20;  // the presenter may still be starting
};

struct ViewerFigures {
  uint64_t events = 0;
  uint64_t bytesReceived = 0;
  uint64_t fullUpdates = 0;
  uint16_t frameWidth = 0, frameHeight = 0;
};

// ViewerHost connects a viewer session to a presenter's host, over TLS to
// the certificate the invitation names (or plain to a bridge port on this
// machine) and proving the invitation's join key; then it posts every event
// it receives into the library and shows the session window at the
// size of the presenter's frame; what the library queues (input,
// annotations) goes back to the presenter.
//
// Input control comes from the presenter's token service: RequestControl
// asks for a token and, once granted (the presenter's person may be asked
// first, and may deny it), lets the library send its input under it; a cancel from the presenter (a newer grant took control, or input was
// refused) ends it, as ReleaseControl does. A grant that comes after its
// request stopped waiting makes this viewer the holder all the same: one
// that holds control carries on under the new token, any other gives it
// straight back, so that control never rests with a viewer that sends none.
//
// Threads: Connect and Run on one host thread, which receives; Run starts
// one thread that drains the library's queue, sends, and keeps the time.
// Stop, RequestControl and ReleaseControl may come from any thread while Run
// runs. The session must have been started (ZK_Init) before Run.
class ViewerHost {
 public:
  ViewerHost(ZKLibrary& zk, const ViewerOptions& options) : zk_(zk), options_(options) {}

  // Retries until the presenter accepts the connection or the connect time
  // is up, then joins: false when the presenter is not the invited one, or
  // refuses this viewer, and `error` says so.
  bool Connect(std::string* error);
  // Instead of Connect: a stream joined some other way (a session through
  // NATS servers), which names no viewer number.
  void Adopt(std::unique_ptr<ByteStream> stream) { stream_ = std::move(stream); }
  // The number the presenter calls this viewer by.
  uint32_t ViewerNumber() const { return viewerNumber_; }
  // Until the presenter closes, a frame is malformed or truncated, or the
  // time is up. True for an orderly end; `reason` says what ended it.
  bool Run(std::string* reason);
  // Ends Run as an orderly end.
  void Stop();
  const ViewerFigures& Figures() const { return figures_; }

  // Asks for control and waits up to `seconds` for the presenter's answer;
  // kGranted once the library sends input under the token.
  enum class ControlAnswer { kGranted, kDenied, kNoAnswer, kFailed };
  ControlAnswer RequestControl(double seconds, uint32_t* token);
  // Stops sending input and tells the presenter; false when this viewer did
  // not hold control.
  bool ReleaseControl();
  // The token this viewer holds control with, 0 when it holds none.
  uint32_t ControlToken() const { return controlToken_; }
  // Hears what happens to control, as a line for a person (receiving
  // thread). Set before Run.
  void SetNotice(std::function<void(const std::string&)> notice) { notice_ = std::move(notice); }

 private:
  // Ends the receiving loop: time is up or Stop was called.
  void EndRun();
  void Receive(uint32_t type, const uint8_t* payload, uint32_t size);
  void OnGrant(const uint8_t* payload, uint32_t size);
  void OnCancel();
  void OnDenial();
  void SendLoop();
  bool Send(const std::vector<uint8_t>& frame);

  ZKLibrary& zk_;
  const ViewerOptions options_;
  std::unique_ptr<ByteStream> stream_;
  uint32_t viewerNumber_ = 0;
  ViewerFigures figures_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> ending_{false};  // time is up or Stop was called
  std::atomic<bool> stopRequested_{false};
  std::mutex sendMutex_;  // the drain thread and control requests both send

  std::function<void(const std::string&)> notice_;
  std::mutex controlMutex_;
  std::condition_variable granted_;
  uint32_t grantedToken_ = 0;  // the last grant not yet taken up
  bool denied_ = false;        // the presenter refused the waiting request
  // Requests sent and not answered yet; the presenter answers in order.
  uint32_t unansweredRequests_ = 0;
  bool requestWaiting_ = false;  // RequestControl waits for the next grant
  std::atomic<uint32_t> controlToken_{0};
};
