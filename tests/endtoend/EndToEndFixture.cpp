#include "EndToEndFixture.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "InjectedInput.h"
#include "JoinHandshake.h"
#include "PictureFile.h"
#include "ScreenGrab.h"
#include "TcpSocket.h"
#include "TlsStream.h"
#include "events/ProtocolMessages.h"
#include "session/ZKWindow.h"

#ifndef ZK_CORPUS_DIR
#error "ZK_CORPUS_DIR must name the screen corpus"
#endif

namespace {
using Clock = std::chrono::steady_clock;

// The one session object of this process: the presenter.
ZKWindow& Session() {
  static ZKWindow session;
  return session;
}

// The library's exported functions, bound to the session object of this
// process instead of a loaded ZK.dll: the host code cannot tell.
void BindToSession(ZKLibrary* zk) {
  zk->Init = [](HWND parent) -> uint8_t {
    return Session().Init(GetModuleHandleA(nullptr), parent);
  };
  zk->Release = []() -> uint8_t { return Session().Release(); };
  zk->EnableCapture = [](uint32_t enable, uint32_t token) -> uint8_t {
    return PostMessageA(Session().GetWindow(), WM_ZK_ENABLECAPTURE, enable & 0xFF, token);
  };
  zk->SetPosition = [](uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint32_t show) -> uint8_t {
    return Session().SetPosition(x, y, w, h, (show & 0xFF) != 0);
  };
  zk->WaitForEvents = [](uint32_t ms) -> uint8_t { return Session().WaitForEvents(ms); };
  zk->GetQueuedEvent = [](ZKEvent* out) -> uint8_t {
    return Session().GetQueuedEvent(reinterpret_cast<Event*>(out));
  };
  zk->PostEvent = [](const ZKEvent* in) -> uint8_t {
    return Session().PostEvent(reinterpret_cast<const Event*>(in));
  };
  zk->RequestFullUpdate = [](uint32_t tag) -> uint8_t {
    return PostMessageA(Session().GetWindow(), WM_ZK_REQUESTFULLUPDATE, tag, 0);
  };
  zk->EnableAnnotation = [](uint32_t enable) -> uint8_t {
    return PostMessageA(Session().GetWindow(), WM_ZK_ENABLEANNOTATION, enable & 0xFF, 0);
  };
  zk->AddHighlight = []() -> uint8_t {
    return PostMessageA(Session().GetWindow(), WM_ZK_ADDHIGHLIGHT, 0, 0);
  };
  zk->AddMarker = [](uint32_t colour) -> uint8_t {
    return PostMessageA(Session().GetWindow(), WM_ZK_ADDMARKER, colour, 0);
  };
  zk->ClearAnnotation = []() -> uint8_t {
    return PostMessageA(Session().GetWindow(), WM_ZK_CLEARANNOTATION, 0, 0);
  };
}

// Keeps the entries of a palette, sent alone or as a record of a
// full-update container.
class PaletteFinder : public ContainerRecordSink {
 public:
  explicit PaletteFinder(std::vector<uint8_t>* palette) : palette_(palette) {}
  bool OnRecord(uint32_t type, uint32_t size, const uint8_t* payload) override {
    PaletteMessage palette;
    if (type == ZKP_PALETTE && ParseMessage(payload, size, &palette))
      palette_->assign(palette.entries, palette.entries + kPaletteEntryCount * kPaletteEntrySize);
    return true;
  }

 private:
  std::vector<uint8_t>* palette_;
};

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void PumpBriefly() {
  MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  ContentWindow::Pump();
}
}  // namespace

void EndToEndFixture::SetUp() {
  static WinsockSession winsock;  // once per process, for the host and the tests' sockets
  ASSERT_TRUE(winsock.Started());
  WriteConfig();
  ASSERT_TRUE(content_.Create(kAreaX, kAreaY, kAreaWidth, kAreaHeight));
  // Earlier tests leave the pointer anywhere. Presenters report it when
  // windows come and go beneath it, and viewers draw it: park it away from
  // the shared area and the viewers.
  MovePointer(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  BindToSession(&zk_);
}

void EndToEndFixture::TearDown() {
  StopPresenter();
  for (auto& viewer : viewers_) {
    DWORD code = 0;
    viewer->WaitForExit(10000, &code);  // they leave when the presenter closes
  }
  viewers_.clear();
  DeleteFileA("ZK.ini");
}

void EndToEndFixture::WriteConfig(const std::string& extraLines) {
  FILE* f = std::fopen("ZK.ini", "w");
  ASSERT_NE(f, nullptr);
  std::fprintf(f, "[ZK]\nCaptureDesktop=1\nPollInterval=50\nUpdateInterval=50\n%s\n",
               extraLines.c_str());
  std::fclose(f);
}

void EndToEndFixture::PlaceContent(int x, int y, int width, int height) {
  content_.Place(x, y, width, height);
}

void EndToEndFixture::StartPresenter(const PresenterOptions& options) {
  ASSERT_TRUE(zk_.Init(nullptr));
  zk_.SetPosition(kAreaX, kAreaY, kAreaWidth, kAreaHeight, 1);
  zk_.EnableCapture(1, 7);
  PresenterOptions served = options;
  served.admission = secrets_.admission;  // a port that is free, a key and a certificate
  served.admission.socketSendBuffer = options.admission.socketSendBuffer;
  host_ = std::make_unique<PresenterHost>(zk_, served);
  if (!options.natsServers.empty())
    natsJoin_ = "--nats " + options.natsServers + " --session " + options.natsSession;
  host_->SetObserver([this](const ZKEvent& event) { Observe(event); });
  host_->SetViewerObserver([this](uint32_t, const ZKEvent& event) { ObserveViewer(event); });
  std::string error;
  ASSERT_TRUE(host_->Listen(&error)) << error;
  serving_ = std::thread([this] { host_->Serve(0); });
}

void EndToEndFixture::StopPresenter() {
  if (!host_) return;
  host_->Stop();
  if (serving_.joinable()) serving_.join();
  zk_.Release();
}

bool EndToEndFixture::AwaitPresenting(const HostProcess& presenter, Presenting* out) {
  auto listening = [&] {
    const std::string output = presenter.Output();
    size_t at = output.find(" on port ");
    size_t invitation = output.find("\ninvitation: ");
    char name[128] = {}, code[160] = {};
    if (at == std::string::npos || invitation == std::string::npos ||
        std::sscanf(output.c_str() + at, " on port %d as %127[^\r\n]", &out->port, name) != 2 ||
        std::sscanf(output.c_str() + invitation, "\ninvitation: %159[a-zA-Z0-9-]", code) != 1)
      return false;
    out->name = name;
    out->invitation = code;
    return true;
  };
  return WaitUntil(listening, kFirstShowSeconds);
}

std::unique_ptr<ByteStream> EndToEndFixture::JoinAsRawViewer(int receiveBuffer) {
  std::string error;
  std::atomic<bool> never{false};
  auto socket = std::make_unique<TcpSocket>(
      TcpSocket::Connect("127.0.0.1", static_cast<uint16_t>(PresenterPort()), &error, receiveBuffer));
  if (!socket->IsOpen()) return nullptr;
  std::unique_ptr<ByteStream> stream = TlsStream::Connect(
      std::move(socket), secrets_.invitation.fingerprint, std::chrono::seconds(10), never, &error);
  uint32_t number = 0;
  const JoinLimits limits = {std::chrono::steady_clock::now() + std::chrono::seconds(10), &never};
  if (!stream ||
      !JoinPresenter(*stream, secrets_.invitation.key, "raw", limits, &number, &error))
    return nullptr;
  return stream;
}

HostProcess& EndToEndFixture::StartViewer(int x, int y) {
  viewers_.push_back(std::make_unique<HostProcess>());
  char arguments[256];
  if (!natsJoin_.empty())
    std::snprintf(arguments, sizeof arguments, "view %s --at %d,%d", natsJoin_.c_str(), x, y);
  else
    std::snprintf(arguments, sizeof arguments, "view --connect 127.0.0.1:%d --at %d,%d --invite %s",
                  host_->Port(), x, y, FormatInvitation(secrets_.invitation).c_str());
  std::string output = "viewer" + std::to_string(viewers_.size()) + ".txt";
  EXPECT_TRUE(viewers_.back()->Start(arguments, output));
  return *viewers_.back();
}

void EndToEndFixture::Observe(const ZKEvent& event) {
  std::lock_guard<std::mutex> lock(observedMutex_);
  if (event.type <= kHighestProtocolType) ++drained_[event.type];
  PaletteFinder finder(&palette_);
  if (event.type == ZKP_FULLUPDATE) {
    WalkFullUpdateContainer(event.payload, event.size, finder);
  } else {
    finder.OnRecord(event.type, event.size, event.payload);
  }
  MouseMessage position;
  if (event.type == ZKP_MOUSEPOSITION && ParseMessage(event.payload, event.size, &position)) {
    // The viewer draws its arrow there.
    const int x = position.point.x, y = position.point.y;
    pointer_ = PictureBox{x, y, x + 32, y + 32};
  }
}

void EndToEndFixture::ObserveViewer(const ZKEvent& event) {
  std::lock_guard<std::mutex> lock(observedMutex_);
  if (event.type > kHighestProtocolType) return;
  ++received_[event.type];
  lastReceived_[event.type].assign(event.payload, event.payload + event.size);
}

int EndToEndFixture::Received(uint32_t type) {
  std::lock_guard<std::mutex> lock(observedMutex_);
  return type <= kHighestProtocolType ? received_[type] : 0;
}

std::vector<uint8_t> EndToEndFixture::LastReceived(uint32_t type) {
  std::lock_guard<std::mutex> lock(observedMutex_);
  return type <= kHighestProtocolType ? lastReceived_[type] : std::vector<uint8_t>();
}

void EndToEndFixture::MovePointer(int screenX, int screenY) {
  hooktest::InjectAbsoluteMove(POINT{screenX, screenY});
}

int EndToEndFixture::Drained(uint32_t type) {
  std::lock_guard<std::mutex> lock(observedMutex_);
  return type <= kHighestProtocolType ? drained_[type] : 0;
}

std::vector<PictureBox> EndToEndFixture::PointerBoxes() {
  std::lock_guard<std::mutex> lock(observedMutex_);
  // Until the presenter's pointer moves, viewers draw it at the frame's corner.
  return {PictureBox{0, 0, 32, 32}, pointer_};
}

bool EndToEndFixture::WaitForMatch(int x, int y, const Picture& expected, double seconds,
                                   MatchReport* last) {
  Clock::time_point start = Clock::now();
  Picture shown;
  MatchReport report;
  do {
    PumpBriefly();
    if (!GrabScreen(x, y, expected.width, expected.height, &shown)) continue;
    report = Compare565(expected, shown, PointerBoxes());
    if (report.mismatched == 0 && report.pixels > 0) break;
  } while (Seconds(start) < seconds);
  if (last) *last = report;
  return report.mismatched == 0 && report.pixels > 0;
}

bool EndToEndFixture::WaitForPaletteMatch(int x, int y, const Picture& expected, double seconds,
                                          MatchReport* last) {
  Clock::time_point start = Clock::now();
  Picture shown;
  MatchReport report;
  report.mismatched = 1;
  do {
    PumpBriefly();
    std::vector<uint8_t> palette;
    {
      std::lock_guard<std::mutex> lock(observedMutex_);
      palette = palette_;
    }
    if (palette.empty() || !GrabScreen(x, y, expected.width, expected.height, &shown)) continue;
    report = ComparePalette332(expected, shown, palette.data(), PointerBoxes());
    if (report.mismatched == 0 && report.pixels > 0) break;
  } while (Seconds(start) < seconds);
  if (last) *last = report;
  return report.mismatched == 0 && report.pixels > 0;
}

void EndToEndFixture::PumpFor(double seconds) {
  Clock::time_point start = Clock::now();
  while (Seconds(start) < seconds) PumpBriefly();
}

bool EndToEndFixture::WaitUntil(const std::function<bool()>& condition, double seconds) {
  Clock::time_point start = Clock::now();
  while (!condition()) {
    if (Seconds(start) >= seconds) return false;
    PumpBriefly();
  }
  return true;
}

uint32_t EndToEndFixture::QueuedBytes() { return Session().GetQueuedBytes(); }

int EndToEndFixture::PresenterDisplayMode() { return Session().GetDisplayMode(); }

HWND EndToEndFixture::PresenterWindow() { return Session().GetWindow(); }

HWND EndToEndFixture::StatisticsDialog() { return Session().GetStatisticsDialog(); }

size_t EndToEndFixture::PendingRectangles() { return Session().RectList::GetCount(); }

bool EndToEndFixture::ReferenceFrame(Picture* out) {
  const FrameFormat& format = Session().GetFrameFormat();
  const uint8_t* pixels = Session().GetFrameBuffer();
  if (!pixels || format.Width() <= 0 || format.Height() <= 0) return false;
  out->width = static_cast<uint32_t>(format.Width());
  out->height = static_cast<uint32_t>(format.Height());
  out->pixels.assign(pixels, pixels + out->ByteCount());
  return true;
}

Picture EndToEndFixture::CorpusCut(const char* file, uint32_t left, uint32_t top, uint32_t width,
                                   uint32_t height) {
  Picture whole;
  std::string error;
  std::string path = std::string(ZK_CORPUS_DIR) + "/" + file;
  EXPECT_TRUE(ReadPictureFile(path, whole, error)) << error;
  if (whole.width < left + width || whole.height < top + height) return GreyPicture(width, height);
  return CropPicture(whole, left, top, width, height);
}

Picture EndToEndFixture::Noise(uint32_t width, uint32_t height, uint32_t seed) {
  Picture picture = GreyPicture(width, height);
  uint32_t state = seed * 2654435761u + 1;
  for (uint8_t& byte : picture.pixels) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  return picture;
}
