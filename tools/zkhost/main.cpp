// zkhost: a sample native host of ZK.dll, and the example of its calling
// order. A presenter loads the library, calls ZK_Init, places the session
// window with ZK_SetPosition, enables capture with a token, then drains the
// outgoing queue (ZK_WaitForEvents, ZK_GetQueuedEvent, GlobalFree on each
// payload) and carries the events to its viewers; a viewer posts what it
// receives with ZK_PostEvent. Both end with ZK_Release.
//
// The thread that starts the session (main) is the command thread: it runs
// the commands of the command channel until the session ends. The
// presenter drains and serves its viewers on a thread of its own; the viewer
// receives on one.
//
// On the network each event is its type (u32 LE), size (u32 LE), payload.

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "CommandChannel.h"
#include "CommandWords.h"
#include "HostCommands.h"
#include "HostWindow.h"
#include "InitSettings.h"
#include "Invitation.h"
#include "NatsSessionStream.h"
#include "PresenterHost.h"
#include "SharedWindowList.h"
#include "TcpSocket.h"
#include "ViewerHost.h"
#include "ZKLibrary.h"

namespace {
// Commands and window messages wake the wait at once; its end only looks for
// the session's end.

std::string ProfileUsage() {
  std::string text;
  for (const SessionProfile& profile : SessionProfiles())
    text += "  " + DescribeSessionProfile(profile) + "\n";
  return text;
}

std::string Usage() {
  return "usage: zkhost present [--port N] [--rect X,Y,W,H] [--desktop] [--token T]\n"
         "                      [--seconds S] [--backlog BYTES] [--report-every S]\n"
         "                      [--name NAME] [--share TITLE] [--click-to-share] [--stats]\n"
         "                      [--profile P] [--key KEY] [--cert FILE] [--allow-control]\n"
         "                      [--bridge-port N] [--nats URL[,URL...] --session NAME]\n"
         "       zkhost view (--connect HOST:PORT --invite CODE [--bridge] |\n"
         "                    --nats URL[,URL...] --session NAME) [--at X,Y]\n"
         "                   [--seconds S] [--name NAME] [--control] [--profile P]\n"
         "       zkhost send NAME COMMAND [ARGS...]\n"
         "       zkhost stop [--port N]      (the same as: zkhost send present-N stop)\n"
         "\n"
         "--nats publishes the session once to NATS servers (a cluster fans it out) under\n"
         "--session NAME instead of serving viewers directly: admission is then the\n"
         "servers' (the credentials in their URLs), no invitation is made, and a running\n"
         "present is named present-NAME.\n"
         "A running present is named present-PORT and a view view-PID unless --name says\n"
         "otherwise. present shows a window of its own under the frame (with a strip below\n"
         "it naming the session) and gives it to the library as the host window, which\n"
         "the library cuts open under the frame while it captures. --share TITLE runs the\n"
         "command share TITLE once the presenter runs (a program window whose title\n"
         "contains TITLE, waited for up to 10 s); --click-to-share runs click-to-share.\n"
         "--control runs the command control once the viewer runs.\n"
         "\n"
         "Viewers join by invitation: present prints a line \"invitation: CODE\" once it\n"
         "listens, and a view must give that CODE. It carries the session's join key (made\n"
         "at random at each start, or --key KEY: 8 to 64 letters and digits) and the\n"
         "fingerprint of the presenter's certificate (made at each start, or kept in\n"
         "--cert FILE), which the viewer pins: the link is TLS, and a viewer without the\n"
         "key sees nothing. --bridge-port N also listens on 127.0.0.1 without TLS, for a\n"
         "bridge on this machine (a browser's WebSocket bridge); view --bridge connects to\n"
         "one. The key is needed there too.\n"
         "Input control is the presenter's to give: a viewer's request waits for the\n"
         "command allow N (or deny N); revoke takes control back. --allow-control grants\n"
         "every request at once, to whoever has the invitation. Each grant gets a higher\n"
         "token, and the newest holds control.\n"
         "--stats shows the statistics window. --desktop and --stats hold for this session\n"
         "only: .\\ZK.ini is left as it was.\n"
         "--profile sets how often the session polls the screen, sends and reports input\n"
         "(default " + std::string(DefaultSessionProfile().name) + "):\n" + ProfileUsage() +
         HostCommandUsage();
}

int UsageError() {
  std::fprintf(stderr, "%s", Usage().c_str());
  return 2;
}

struct CommandLine {
  std::string command;
  PresenterOptions presenter;
  ViewerOptions viewer;
  int x = 0, y = 0, width = 640, height = 480;
  bool desktop = false;
  bool control = false;
  bool stats = false;
  bool clickToShare = false;
  uint32_t token = 1;
  double seconds = 0;
  double reportEvery = 0;
  bool connectGiven = false;
  std::string invite;       // view: the presenter's invitation
  std::string key;          // present: the join key; made at random when empty
  std::string certificate;  // present: where the identity is kept; none when empty
  std::string name;
  std::string share;
  std::string nats;     // NATS servers' URLs instead of direct links
  std::string session;  // the session's name on them
  const SessionProfile* profile = &DefaultSessionProfile();
  CommandWordList words;  // send: the command and its arguments
};

// The option that sets one of the line's switches, or null.
bool* Flag(const std::string& name, CommandLine* line) {
  if (name == "--allow-control") return &line->presenter.allowControl;
  if (name == "--bridge") return &line->viewer.bridge;
  if (name == "--desktop") return &line->desktop;
  if (name == "--stats") return &line->stats;
  if (name == "--click-to-share") return &line->clickToShare;
  if (name == "--control") return &line->control;
  return nullptr;
}

bool ParseOptions(int argc, char** argv, CommandLine* line) {
  for (int i = 2; i < argc; ++i) {
    std::string name = argv[i];
    if (bool* flag = Flag(name, line)) {
      *flag = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (name == "--port") {
      line->presenter.admission.port = line->viewer.port = static_cast<uint16_t>(std::atoi(value));
    } else if (name == "--bridge-port") {
      line->presenter.admission.bridgePort = static_cast<uint16_t>(std::atoi(value));
    } else if (name == "--key") {
      line->key = value;
    } else if (name == "--cert") {
      line->certificate = value;
    } else if (name == "--invite") {
      line->invite = value;
    } else if (name == "--rect") {
      if (std::sscanf(value, "%d,%d,%d,%d", &line->x, &line->y, &line->width, &line->height) != 4)
        return false;
    } else if (name == "--at") {
      if (std::sscanf(value, "%d,%d", &line->viewer.x, &line->viewer.y) != 2) return false;
    } else if (name == "--connect") {
      if (!ParseHostPort(value, &line->viewer.host, &line->viewer.port)) return false;
      line->connectGiven = true;
    } else if (name == "--nats") {
      line->nats = value;
    } else if (name == "--session") {
      line->session = value;
    } else if (name == "--token") {
      line->token = static_cast<uint32_t>(std::strtoul(value, nullptr, 0));
    } else if (name == "--seconds") {
      line->seconds = line->viewer.seconds = std::atof(value);
    } else if (name == "--backlog") {
      line->presenter.backlogBound = std::strtoul(value, nullptr, 0);
    } else if (name == "--report-every") {
      line->reportEvery = std::atof(value);
    } else if (name == "--name") {
      line->name = value;
      if (!CommandChannel::IsValidName(line->name)) return false;
    } else if (name == "--share") {
      line->share = value;
    } else if (name == "--profile") {
      line->profile = FindSessionProfile(value);
      if (!line->profile) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool ParseArguments(int argc, char** argv, CommandLine* line) {
  if (argc < 2) return false;
  line->command = argv[1];
  if (line->command != "send") return ParseOptions(argc, argv, line);
  if (argc < 4 || !CommandChannel::IsValidName(argv[2])) return false;
  line->name = argv[2];
  line->words.assign(argv + 3, argv + argc);
  return true;
}

PresenterHost* g_presenter = nullptr;
BOOL WINAPI OnConsoleControl(DWORD) {
  if (g_presenter) g_presenter->Stop();
  return TRUE;
}

void PrintLine(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

// Drain thread: every report of the library about shared windows is kept
// for the commands and shown.
void ObserveSharing(SharedWindowList* shared, const ZKEvent& event) {
  if (!shared->Observe(event.type, event.payload, event.size)) return;
  SharedWindowMessage report;
  ParseMessage(event.payload, event.size, &report);
  PrintLine("zkhost: window " + DescribeWindow(report.window, report.title) + " " +
            DescribeReportCode(report.code));
}

// Runs the commands that arrive until `running` turns false; whatever turns
// it false from another thread wakes the channel.
template <typename Running>
void ServeCommands(CommandChannel& channel, HostSession& session, Running running) {
  auto run = [&session](const std::string& line) { return RunHostCommand(session, line); };
  while (running()) channel.Serve(run, INFINITE);
  channel.Close();
}

// The session's join key and certificate, into the admission's options.
bool PrepareAdmission(const CommandLine& line, AdmissionOptions* admission) {
  admission->joinKey = line.key;
  if (!line.key.empty() && !IsValidJoinKey(line.key)) {
    std::fprintf(stderr, "zkhost: a join key is 8 to 64 letters and digits\n");
    return false;
  }
  if (line.key.empty() && !MakeJoinKey(&admission->joinKey)) {
    std::fprintf(stderr, "zkhost: no random numbers for a join key\n");
    return false;
  }
  std::string error;
  TlsIdentity identity = line.certificate.empty()
                             ? TlsIdentity::Generate(&error)
                             : TlsIdentity::LoadOrCreate(line.certificate, &error);
  if (!identity.IsValid()) {
    std::fprintf(stderr, "zkhost: %s\n", error.c_str());
    return false;
  }
  admission->identity = std::make_shared<const TlsIdentity>(std::move(identity));
  return true;
}

// How a viewer joins: the invitation, and the one line to send.
void PrintInvitation(const PresenterOptions& options, const PresenterHost& host) {
  const std::string code =
      FormatInvitation({options.admission.joinKey, options.admission.identity->Fingerprint()});
  PrintLine("invitation: " + code);
  char machine[256] = "THIS-MACHINE";
  gethostname(machine, sizeof machine);
  PrintLine("zkhost: a viewer joins with: zkhost view --connect " + std::string(machine) + ":" +
            std::to_string(host.Port()) + " --invite " + code);
  if (options.admission.bridgePort)
    PrintLine("zkhost: bridge port " + std::to_string(host.BridgePort()) +
              " on 127.0.0.1, without TLS (the invitation's key is needed there too)");
}

// ZK_Init, with the settings of the command line for this session.
bool InitPresenter(const CommandLine& line, ZKLibrary& zk, HWND hostWindow) {
  InitSettings settings;
  // Share the desktop under the frame, no application needed.
  if (line.desktop) settings.Set("CaptureDesktop", "1");
  if (line.stats) settings.Set("ShowStatistics", "1");
  SetProfileInitSettings(*line.profile, &settings);
  return zk.Init(hostWindow) != 0;
}

bool InitViewer(const CommandLine& line, ZKLibrary& zk) {
  InitSettings settings;
  SetProfileInitSettings(*line.profile, &settings);
  return zk.Init(nullptr) != 0;
}

int RunPresent(const CommandLine& line) {
  WinsockSession winsock;
  ZKLibrary zk;
  PresenterOptions options = line.presenter;
  options.natsServers = line.nats;
  options.natsSession = line.session;
  const bool nats = !line.nats.empty();
  if (nats && line.session.empty()) return UsageError();
  if (!winsock.Started() || (!nats && !PrepareAdmission(line, &options.admission)) || !zk.Load())
    return 1;
  HostWindow hostWindow;
  if (!hostWindow.Create(line.x, line.y, line.width, line.height, "zkhost present")) {
    std::fprintf(stderr, "zkhost: cannot create the host window\n");
    return 1;
  }
  if (!InitPresenter(line, zk, hostWindow.Handle())) {
    std::fprintf(stderr, "ZK_Init failed\n");
    return 1;
  }
  ApplySessionProfile(zk, *line.profile);
  // The frame is placed and shown 200 ms later, once the host stops moving it.
  zk.SetPosition(line.x, line.y, line.width, line.height, 1);
  zk.EnableCapture(1, line.token);

  PresenterHost host(zk, options);
  std::string error;
  if (!host.Listen(&error)) {
    if (nats)
      std::fprintf(stderr, "cannot reach the NATS servers %s: %s\n", line.nats.c_str(), error.c_str());
    else
      std::fprintf(stderr, "cannot listen on port %u: %s\n", options.admission.port, error.c_str());
    zk.Release();
    return 1;
  }
  std::string name = !line.name.empty() ? line.name
                     : nats            ? "present-" + line.session
                                       : "present-" + std::to_string(host.Port());
  CommandChannel channel(name);
  if (!channel.Open(&error)) {
    std::fprintf(stderr, "zkhost: %s\n", error.c_str());
    zk.Release();
    return 1;
  }
  SharedWindowList shared;
  host.SetObserver([&shared](const ZKEvent& event) { ObserveSharing(&shared, event); });
  host.SetNotice([](const std::string& line) { PrintLine("zkhost: " + line); });
  HostSession session{zk, true, [&host] { host.Stop(); }, &shared};
  session.viewers = &host;
  session.profile = line.profile;
  g_presenter = &host;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  char started[160];
  std::snprintf(started, sizeof started, "zkhost: presenting %d,%d %dx%d on port %u as %s", line.x,
                line.y, line.width, line.height, host.Port(), name.c_str());
  PrintLine(started);
  if (nats)
    PrintLine("zkhost: a viewer joins with: zkhost view --nats " + line.nats + " --session " +
              line.session);
  else
    PrintInvitation(options, host);
  hostWindow.SetCaption(started + 8);  // without "zkhost: "

  std::thread serving([&] {
    host.Serve(line.seconds, line.reportEvery,
               [](const PresenterFigures& figures) { PrintLine(FormatFigures(figures)); });
    channel.Wake();
  });
  std::vector<std::string> startup;
  if (!line.share.empty()) startup.push_back(JoinCommandWords({"share", line.share}));
  if (line.clickToShare) startup.push_back("click-to-share");
  for (const std::string& command : startup)
    PrintLine("zkhost: " + command + ": " + RunHostCommand(session, command));
  ServeCommands(channel, session, [&host] { return !host.Stopped(); });
  serving.join();
  g_presenter = nullptr;
  zk.Release();

  PresenterFigures figures = host.Figures();
  std::printf("%s%s\n", DescribeFigures(figures).c_str(), FormatFigures(figures).c_str());
  return 0;
}

int RunView(CommandLine line) {
  const bool nats = !line.nats.empty();
  if (line.connectGiven == nats || (nats && line.session.empty())) return UsageError();
  if (!nats && line.invite.empty()) {
    std::fprintf(stderr, "zkhost: a viewer needs the presenter's invitation: --invite CODE\n");
    return 2;
  }
  if (!nats && !ParseInvitation(line.invite, &line.viewer.invitation)) {
    std::fprintf(stderr, "zkhost: not an invitation: %s\n", line.invite.c_str());
    return 2;
  }
  // The name is claimed first: a second viewer of that name never joins.
  std::string name =
      line.name.empty() ? "view-" + std::to_string(GetCurrentProcessId()) : line.name;
  CommandChannel channel(name);
  std::string error;
  if (!channel.Open(&error)) {
    std::fprintf(stderr, "zkhost: %s\n", error.c_str());
    return 1;
  }
  WinsockSession winsock;
  ZKLibrary zk;
  if (!winsock.Started() || !zk.Load()) return 1;
  line.viewer.name = name;
  ViewerHost host(zk, line.viewer);
  if (nats) {
    std::unique_ptr<NatsSessionStream> stream =
        JoinNatsSession(line.nats, line.session, name, line.viewer.connectSeconds, &error);
    if (!stream) {
      std::fprintf(stderr, "cannot join session %s: %s\n", line.session.c_str(), error.c_str());
      return 1;
    }
    host.Adopt(std::move(stream));
  } else if (!host.Connect(&error)) {
    std::fprintf(stderr, "cannot join %s:%u: %s\n", line.viewer.host.c_str(), line.viewer.port,
                 error.c_str());
    return 1;
  }
  // Every session starts as a viewer: nothing to enable.
  if (!InitViewer(line, zk)) {
    std::fprintf(stderr, "ZK_Init failed\n");
    return 1;
  }
  ApplySessionProfile(zk, *line.profile);
  HostSession session{zk, false, [&host] { host.Stop(); }};
  session.viewer = &host;
  session.profile = line.profile;
  host.SetNotice([](const std::string& line) { PrintLine("zkhost: " + line); });
  if (nats)
    PrintLine("zkhost: viewing session " + line.session + " through " + line.nats + " as " + name);
  else
    PrintLine("zkhost: viewing " + line.viewer.host + ":" + std::to_string(line.viewer.port) +
              " as " + name + ", viewer " + std::to_string(host.ViewerNumber()) + " there");
  std::string reason;
  bool orderly = false;
  std::atomic<bool> ended{false};
  std::thread receiving([&] {
    orderly = host.Run(&reason);
    ended = true;
    channel.Wake();
  });
  if (line.control) PrintLine("zkhost: control: " + RunHostCommand(session, "control"));
  ServeCommands(channel, session, [&ended] { return !ended; });
  receiving.join();
  zk.Release();
  const ViewerFigures& figures = host.Figures();
  std::printf("viewer ended: %s\n  received %llu events (%llu full updates), %.1f KB; frame %ux%u\n",
              reason.c_str(), static_cast<unsigned long long>(figures.events),
              static_cast<unsigned long long>(figures.fullUpdates),
              figures.bytesReceived / 1024.0, figures.frameWidth, figures.frameHeight);
  return orderly ? 0 : 1;
}

int RunSend(const std::string& name, const CommandWordList& words) {
  std::string reply, error;
  if (!SendCommandLine(name, JoinCommandWords(words), &reply, &error)) {
    std::fprintf(stderr, "zkhost: %s\n", error.c_str());
    return 1;
  }
  PrintLine(reply);
  return IsOkReply(reply) ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  if (!ParseArguments(argc, argv, &line)) return UsageError();
  if (line.command == "present") return RunPresent(line);
  if (line.command == "view") return RunView(line);
  if (line.command == "send") return RunSend(line.name, line.words);
  if (line.command == "stop")
    return RunSend("present-" + std::to_string(line.presenter.admission.port), {"stop"});
  return UsageError();
}
