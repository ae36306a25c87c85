#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ContentWindow.h"
#include "HostProcess.h"
#include "PictureMatch.h"
#include "PresenterHost.h"
#include "TestSecrets.h"
#include "ZKLibrary.h"
#include "events/ProtocolTypes.h"

// A presenter-to-viewer session on the test display: the test process owns
// the content window and the presenter (the library's session object, served
// over TCP by zkhost's PresenterHost on a thread of the test); viewers are
// `zkhost view` processes beside it. Pictures are compared by screen grabs.
//
// The test thread pumps the content window while it waits, so that the
// presenter's grabs see what it painted.
class EndToEndFixture : public ::testing::Test {
 protected:
  // The presenter's area, and where viewers go: never over that area.
  static constexpr int kAreaX = 0, kAreaY = 0, kAreaWidth = 400, kAreaHeight = 300;
  static constexpr int kViewerX = 640, kViewerY = 0, kSecondViewerY = 340;
  // Deadlines for conditions, generous for a loaded machine: polling runs
  // every 50 ms, so a pass of eleven bands takes well under a second.
  static constexpr double kFirstShowSeconds = 40;
  static constexpr double kChangeSeconds = 20;

  void SetUp() override;
  void TearDown() override;

  // Settings for both sides, beyond capture of the desktop and fast polling.
  void WriteConfig(const std::string& extraLines = "");
  void ShowContent(const Picture& picture) { content_.Show(picture); }
  void PlaceContent(int x, int y, int width, int height);

  void StartPresenter(const PresenterOptions& options = PresenterOptions());
  // A `zkhost present --port 0` process once it listens: the port the
  // system chose and the name of its command channel.
  struct Presenting {
    int port = 0;
    std::string name;
    std::string invitation;
  };
  static bool AwaitPresenting(const HostProcess& presenter, Presenting* out);
  void StopPresenter();
  HostProcess& StartViewer(int x, int y);

  // Waits until the screen at (x, y) shows `expected` within 5-6-5
  // precision, or the deadline passes; `last` gets the last comparison.
  bool WaitForMatch(int x, int y, const Picture& expected, double seconds,
                    MatchReport* last = nullptr);
  // The same against the presenter's palette colours (8-bit mode).
  bool WaitForPaletteMatch(int x, int y, const Picture& expected, double seconds,
                           MatchReport* last = nullptr);
  // Moves the pointer as a device would (through the system's input queue,
  // so the presenter's hooks report it).
  static void MovePointer(int screenX, int screenY);
  // Pumps the content window for a while (observation, not synchronisation).
  static void PumpFor(double seconds);
  // Pumps the content window until the condition holds or the deadline passes.
  static bool WaitUntil(const std::function<bool()>& condition, double seconds);

  // The presenter's library as the test sees it from its own thread. The
  // queued-byte counter is atomic; the pending count is one word read while
  // the worker may change it; the reference frame is copied while the
  // content stands still, when the worker only reads it.
  static uint32_t QueuedBytes();
  static int PresenterDisplayMode();
  static HWND PresenterWindow();
  static HWND StatisticsDialog();
  static size_t PendingRectangles();
  static bool ReferenceFrame(Picture* out);

  // A cut of a corpus still at the given place, of the given size.
  static Picture CorpusCut(const char* file, uint32_t left, uint32_t top, uint32_t width,
                           uint32_t height);
  // Cuts of real screens, different enough that no two match each other.
  static Picture Notepad(uint32_t w, uint32_t h) {
    return CorpusCut("s01_notepad_gpl3_1920x1080.png", 300, 200, w, h);
  }
  static Picture Photo(uint32_t w, uint32_t h) {
    return CorpusCut("s08_photo_wallpaper_desktop_1920x1080.png", 800, 300, w, h);
  }
  static Picture Source(uint32_t w, uint32_t h) {
    return CorpusCut("s07_vim_c_source_1920x1080.png", 100, 100, w, h);
  }
  static Picture Noise(uint32_t width, uint32_t height, uint32_t seed);

  PresenterHost& Host() { return *host_; }
  int PresenterPort() const { return host_->Port(); }
  // The presenter's invitation, and a stream admitted with it (null when
  // the presenter did not admit it), as a hostile viewer would hold one.
  const Invitation& PresenterInvitation() const { return secrets_.invitation; }
  std::unique_ptr<ByteStream> JoinAsRawViewer(int receiveBuffer = 0);
  // Events the presenter's host has drained, by type.
  int Drained(uint32_t type);
  // Events the viewers have sent to the presenter's host, by type, and the
  // last one of a type.
  int Received(uint32_t type);
  std::vector<uint8_t> LastReceived(uint32_t type);
  std::vector<PictureBox> PointerBoxes();

  ZKLibrary zk_;

 private:
  void Observe(const ZKEvent& event);
  void ObserveViewer(const ZKEvent& event);

  ContentWindow content_;
  TestSecrets secrets_ = MakeTestSecrets();
  std::unique_ptr<PresenterHost> host_;
  // How viewers join a presenter that serves through NATS servers, else empty.
  std::string natsJoin_;
  std::thread serving_;
  std::vector<std::unique_ptr<HostProcess>> viewers_;

  std::mutex observedMutex_;
  int drained_[kHighestProtocolType + 1] = {};
  int received_[kHighestProtocolType + 1] = {};
  std::vector<uint8_t> lastReceived_[kHighestProtocolType + 1];
  std::vector<uint8_t> palette_;  // the latest one sent, standalone or in a container
  PictureBox pointer_ = {0, 0, 0, 0};
};
