#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "ByteStream.h"
#include "events/JoinMessages.h"

// The admission of a viewer on a freshly connected stream (after TLS where
// the link has it), before any event flows; JoinMessages.h says what is
// exchanged. Every read keeps to the deadline of the whole exchange and
// takes no byte beyond the frame it needs, so that what follows is the
// link's. A peer that sends anything but the one frame expected, or a frame
// longer than any the exchange has, is refused. Portable; used by the thread
// that holds the stream until a link takes it over.

struct JoinLimits {
  std::chrono::steady_clock::time_point deadline;
  const std::atomic<bool>* cancel;  // ends sends and reads at once when set
};

// The presenter's side: challenges the viewer and judges its answer. The
// name comes out printable (other bytes become '?'), as the presenter shows
// it to a person.
enum class JoinVerdict { kProved, kWrongKey, kOtherVersion, kBroken };
JoinVerdict ChallengeViewer(ByteStream& stream, const std::string& key, const JoinLimits& limits,
                            std::string* name, std::string* error);
bool WelcomeViewer(ByteStream& stream, uint32_t viewer, const JoinLimits& limits);
void RefuseViewer(ByteStream& stream, JoinRefusal reason, const JoinLimits& limits);

// The viewer's side: true once welcomed, with the number the presenter calls
// it by; otherwise `error` says why (the presenter's reason when it refused).
bool JoinPresenter(ByteStream& stream, const std::string& key, const std::string& name,
                   const JoinLimits& limits, uint32_t* viewer, std::string* error);

// What a refusal says to a person.
std::string DescribeRefusal(uint8_t reason);
