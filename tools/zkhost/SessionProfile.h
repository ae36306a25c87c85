#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How often a zkhost session looks at the screen and moves what it found:
// the poll, update and input frequencies that zkhost sets through the
// library's exports once the session runs. A host is free to choose them;
// the library's own defaults (or .\ZK.ini) apply only under "library".
//
// "live" is zkhost's default, chosen from the session benchmark's stage
// costs (bench/README.md). The presenter's hooks report where windows draw,
// and the library looks there 10 ms after the report; a viewer handles what
// arrives as it arrives and paints it at once, and what a poll finds is sent
// as reported drawing is. The update tick (1 s) is then only a fallback, and
// wakes the session once a second while nothing happens;
// the input tick (50 ms) runs only while a pointer move waits;
// the poll over the whole area, every 10 s, is the safety net for drawing
// that no message announces (a video, a caret). Each poll costs a
// whole-area grab (about 10 ms of CPU under Wine), still screen or not: at
// 2 s that was most of a still session's CPU (bench/README.md).
struct SessionProfile {
  const char* name;
  const char* description;
  bool setsFrequencies;  // false: the library's settings stay as they are
  uint32_t pollIntervalMs;
  uint32_t pollBands;  // 0: the whole area at every poll
  uint32_t updateIntervalMs;
  uint32_t inputIntervalMs;
  // .\ZK.ini keys the session starts with (ZK_Init reads them once, so a
  // session switched to this profile while running keeps its own):
  // ReportSendDelay (0: at the update tick), DispatchOnPost, PaintUpdatesAtOnce,
  // InputTimerOnDemand.
  uint32_t reportSendDelayMs;
  bool eventDriven;  // DispatchOnPost, PaintUpdatesAtOnce and InputTimerOnDemand
};

const std::vector<SessionProfile>& SessionProfiles();
// The profile of that name, or null.
const SessionProfile* FindSessionProfile(const std::string& name);
const SessionProfile& DefaultSessionProfile();
// "live: ... (poll the whole area every 10000 ms, ...)" for replies and the usage text.
std::string DescribeSessionProfile(const SessionProfile& profile);
