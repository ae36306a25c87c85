#pragma once

#include <functional>
#include <string>
#include <vector>

#include "SessionProfile.h"
#include "SharedWindowList.h"
#include "ZKLibrary.h"

class InitSettings;
class PresenterHost;
class ViewerHost;

// The commands of a running `zkhost present` or `zkhost view`: one table maps
// each word to its handler and a line of help. A feature that a host drives
// while running becomes a row of this table (and shows in the usage text,
// which is built from it).
//
// Commands run one at a time on the host's command thread, the thread that
// started the session (ZK_Init) and owns the presenter's host window; they
// may call the library's exports, which are safe from any host thread.

using CommandWordList = std::vector<std::string>;

// What the commands act on.
struct HostSession {
  ZKLibrary& zk;
  bool presenter;
  // Ends the running present or view; the command thread then releases the
  // session.
  std::function<void()> stop;
  // The presenter's view of what it shares; null in a viewer.
  SharedWindowList* sharedWindows = nullptr;
  // Whether `annotation on` has enabled annotation in this session.
  bool annotationEnabled = false;
  // The viewer's connection to its presenter; null in a presenter.
  ViewerHost* viewer = nullptr;
  // The presenter's host of its viewers; null in a viewer.
  PresenterHost* viewers = nullptr;
  // The frequencies in force (ApplySessionProfile).
  const SessionProfile* profile = &DefaultSessionProfile();
};

// Sets the profile's frequencies through the library's exports (a running
// session); a profile that leaves the library's settings sets nothing.
bool ApplySessionProfile(ZKLibrary& zk, const SessionProfile& profile);
// Writes the profile's start-up keys for the ZK_Init that follows.
void SetProfileInitSettings(const SessionProfile& profile, InitSettings* settings);

enum HostRole : unsigned { kInPresenter = 1, kInViewer = 2, kInBoth = 3 };

struct HostCommand {
  const char* word;
  const char* arguments;  // as the usage shows them; "" for none
  const char* help;
  unsigned roles;
  // Returns the reply line: "ok", "ok <detail>" or "error: <why>".
  std::string (*run)(HostSession& session, const CommandWordList& arguments);
};

const std::vector<HostCommand>& HostCommands();

// Runs one command line and returns its reply.
std::string RunHostCommand(HostSession& session, const std::string& line);

// The usage text's part about the command channel, built from the table.
std::string HostCommandUsage();

// Waits until `done` holds or `seconds` pass, dispatching the calling
// thread's window messages meanwhile so that its windows keep answering;
// returns done().
bool WaitWhilePumping(double seconds, const std::function<bool()>& done);
