// zkhost: a sample native host of ZK.dll, and the example of its calling
// order. A presenter loads the library, calls ZK_Init, places the session
// window with ZK_SetPosition, enables capture with a token, then drains the
// outgoing queue (ZK_WaitForEvents, ZK_GetQueuedEvent, GlobalFree on each
// payload) and carries the events to its viewers; a viewer posts what it
// receives with ZK_PostEvent. Both end with ZK_Release.
//
//   zkhost present [--port N] [--rect X,Y,W,H] [--desktop] [--token T]
//                  [--seconds S] [--backlog BYTES] [--report-every S]
//   zkhost view --connect HOST:PORT [--at X,Y] [--seconds S]
//   zkhost stop [--port N]
//
// On the network each event is its type (u32 LE), size (u32 LE), payload.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "PresenterHost.h"
#include "TcpSocket.h"
#include "ViewerHost.h"
#include "ZKLibrary.h"

namespace {
constexpr char kUsage[] =
    "usage: zkhost present [--port N] [--rect X,Y,W,H] [--desktop] [--token T]\n"
    "                      [--seconds S] [--backlog BYTES] [--report-every S]\n"
    "       zkhost view --connect HOST:PORT [--at X,Y] [--seconds S]\n"
    "       zkhost stop [--port N]\n";

struct CommandLine {
  std::string command;
  PresenterOptions presenter;
  ViewerOptions viewer;
  int x = 0, y = 0, width = 640, height = 480;
  bool desktop = false;
  uint32_t token = 1;
  double seconds = 0;
  double reportEvery = 0;
  bool connectGiven = false;
};

bool ParseArguments(int argc, char** argv, CommandLine* line) {
  if (argc < 2) return false;
  line->command = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::string name = argv[i];
    if (name == "--desktop") {
      line->desktop = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (name == "--port") {
      line->presenter.port = line->viewer.port = static_cast<uint16_t>(std::atoi(value));
    } else if (name == "--rect") {
      if (std::sscanf(value, "%d,%d,%d,%d", &line->x, &line->y, &line->width, &line->height) != 4)
        return false;
    } else if (name == "--at") {
      if (std::sscanf(value, "%d,%d", &line->viewer.x, &line->viewer.y) != 2) return false;
    } else if (name == "--connect") {
      if (!ParseHostPort(value, &line->viewer.host, &line->viewer.port)) return false;
      line->connectGiven = true;
    } else if (name == "--token") {
      line->token = static_cast<uint32_t>(std::strtoul(value, nullptr, 0));
    } else if (name == "--seconds") {
      line->seconds = line->viewer.seconds = std::atof(value);
    } else if (name == "--backlog") {
      line->presenter.backlogBound = std::strtoul(value, nullptr, 0);
    } else if (name == "--report-every") {
      line->reportEvery = std::atof(value);
    } else {
      return false;
    }
  }
  return true;
}

// `zkhost stop` ends the presenter on the same port through this event.
std::string StopEventName(uint16_t port) { return "zkhost.present." + std::to_string(port) + ".stop"; }

PresenterHost* g_presenter = nullptr;
BOOL WINAPI OnConsoleControl(DWORD) {
  if (g_presenter) g_presenter->Stop();
  return TRUE;
}

int RunPresent(const CommandLine& line) {
  if (line.desktop) {
    // The library reads its settings from .\ZK.ini when ZK_Init creates the
    // session: share the desktop under the frame, no application needed.
    WritePrivateProfileStringA("ZK", "CaptureDesktop", "1", ".\\ZK.ini");
  }
  WinsockSession winsock;
  ZKLibrary zk;
  if (!winsock.Started() || !zk.Load()) return 1;
  if (!zk.Init(nullptr)) {
    std::fprintf(stderr, "ZK_Init failed\n");
    return 1;
  }
  // The frame is placed and shown 200 ms later, once the host stops moving it.
  zk.SetPosition(line.x, line.y, line.width, line.height, 1);
  zk.EnableCapture(1, line.token);

  PresenterHost host(zk, line.presenter);
  std::string error;
  if (!host.Listen(&error)) {
    std::fprintf(stderr, "cannot listen on port %u: %s\n", line.presenter.port, error.c_str());
    zk.Release();
    return 1;
  }
  HANDLE stopEvent = CreateEventA(nullptr, TRUE, FALSE, StopEventName(host.Port()).c_str());
  g_presenter = &host;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  std::thread stopWatch([&host, stopEvent] {
    while (WaitForSingleObject(stopEvent, 100) == WAIT_TIMEOUT && !host.Stopped()) {
    }
    host.Stop();
  });
  std::printf("zkhost: presenting %d,%d %dx%d on port %u\n", line.x, line.y, line.width,
              line.height, host.Port());
  std::fflush(stdout);

  host.Serve(line.seconds, line.reportEvery, [](const PresenterFigures& figures) {
    std::printf("%s\n", FormatFigures(figures).c_str());
    std::fflush(stdout);
  });
  stopWatch.join();
  g_presenter = nullptr;
  CloseHandle(stopEvent);
  zk.Release();

  PresenterFigures figures = host.Figures();
  std::printf("%s%s\n", DescribeFigures(figures).c_str(), FormatFigures(figures).c_str());
  return 0;
}

int RunView(const CommandLine& line) {
  if (!line.connectGiven) return std::fprintf(stderr, "%s", kUsage), 2;
  WinsockSession winsock;
  ZKLibrary zk;
  if (!winsock.Started() || !zk.Load()) return 1;
  ViewerHost host(zk, line.viewer);
  std::string error;
  if (!host.Connect(&error)) {
    std::fprintf(stderr, "cannot reach %s:%u: %s\n", line.viewer.host.c_str(), line.viewer.port,
                 error.c_str());
    return 1;
  }
  // Every session starts as a viewer: nothing to enable.
  if (!zk.Init(nullptr)) {
    std::fprintf(stderr, "ZK_Init failed\n");
    return 1;
  }
  std::printf("zkhost: viewing %s:%u\n", line.viewer.host.c_str(), line.viewer.port);
  std::fflush(stdout);
  std::string reason;
  bool orderly = host.Run(&reason);
  zk.Release();
  const ViewerFigures& figures = host.Figures();
  std::printf("viewer ended: %s\n  received %llu events (%llu full updates), %.1f KB; frame %ux%u\n",
              reason.c_str(), static_cast<unsigned long long>(figures.events),
              static_cast<unsigned long long>(figures.fullUpdates),
              figures.bytesReceived / 1024.0, figures.frameWidth, figures.frameHeight);
  return orderly ? 0 : 1;
}

int RunStop(const CommandLine& line) {
  HANDLE stopEvent = OpenEventA(EVENT_MODIFY_STATE, FALSE, StopEventName(line.presenter.port).c_str());
  if (!stopEvent) {
    std::fprintf(stderr, "no presenter on port %u\n", line.presenter.port);
    return 1;
  }
  SetEvent(stopEvent);
  CloseHandle(stopEvent);
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  if (!ParseArguments(argc, argv, &line)) return std::fprintf(stderr, "%s", kUsage), 2;
  if (line.command == "present") return RunPresent(line);
  if (line.command == "view") return RunView(line);
  if (line.command == "stop") return RunStop(line);
  std::fprintf(stderr, "%s", kUsage);
  return 2;
}
