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
// costs (bench/README.md): the screen's pixels cost the same to grab in one
// poll as in bands, but a change then waits for the next poll (125 ms on
// average) instead of a pass of eleven bands; the 20 ms update tick sends
// what a poll found, and dispatches what a viewer received, at once.
struct SessionProfile {
  const char* name;
  const char* description;
  bool setsFrequencies;  // false: the library's settings stay as they are
  uint32_t pollIntervalMs;
  uint32_t pollBands;  // 0: the whole area at every poll
  uint32_t updateIntervalMs;
  uint32_t inputIntervalMs;
};

const std::vector<SessionProfile>& SessionProfiles();
// The profile of that name, or null.
const SessionProfile* FindSessionProfile(const std::string& name);
const SessionProfile& DefaultSessionProfile();
// "live (whole area every 300 ms, ...)" for replies and the usage text.
std::string DescribeSessionProfile(const SessionProfile& profile);
