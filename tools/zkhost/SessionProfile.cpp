#include "SessionProfile.h"

namespace {
std::string EventDrivenPart(const SessionProfile& profile) {
  std::string text;
  if (profile.reportSendDelayMs)
    text += "; reported drawing sent after " + std::to_string(profile.reportSendDelayMs) + " ms";
  if (profile.eventDriven)
    text += "; what arrives handled and painted at once; the input tick only for a move";
  return text;
}
}  // namespace

const std::vector<SessionProfile>& SessionProfiles() {
  static const std::vector<SessionProfile> profiles = {
      {"live", "changes reach viewers as they happen", true, 10000, 0, 1000, 50, 10, true},
      {"library", "the library's settings: .\\ZK.ini, or its defaults", false, 0, 0, 0, 0, 0,
       false},
  };
  return profiles;
}

const SessionProfile* FindSessionProfile(const std::string& name) {
  for (const SessionProfile& profile : SessionProfiles())
    if (name == profile.name) return &profile;
  return nullptr;
}

const SessionProfile& DefaultSessionProfile() { return SessionProfiles().front(); }

std::string DescribeSessionProfile(const SessionProfile& profile) {
  std::string text = std::string(profile.name) + ": " + profile.description;
  if (!profile.setsFrequencies) return text;
  std::string poll = profile.pollBands
                         ? "one of " + std::to_string(profile.pollBands) + " bands every "
                         : "the whole area every ";
  return text + " (poll " + poll + std::to_string(profile.pollIntervalMs) + " ms, update every " +
         std::to_string(profile.updateIntervalMs) + " ms, input every " +
         std::to_string(profile.inputIntervalMs) + " ms" + EventDrivenPart(profile) + ")";
}
