#include "compression/DecodeFailureReporter.h"

#include <atomic>
#include <new>

namespace {
std::atomic<DecodeFailureReporter> g_reporter{nullptr};
std::atomic<DecodeFailureHold*> g_hold{nullptr};

void Report(const char* dumpFileName, const uint8_t* input, uint32_t length) {
  if (DecodeFailureReporter reporter = g_reporter.load(std::memory_order_acquire)) {
    reporter(dumpFileName, input, length);
  }
}
}  // namespace

DecodeFailureReporter SetDecodeFailureReporter(DecodeFailureReporter reporter) {
  return g_reporter.exchange(reporter);
}

void ReportDecodeFailure(const char* dumpFileName, const uint8_t* input, uint32_t length) {
  if (DecodeFailureHold* hold = g_hold.load(std::memory_order_acquire)) {
    hold->Keep(dumpFileName, input, length);
  } else {
    Report(dumpFileName, input, length);
  }
}

DecodeFailureHold::DecodeFailureHold() : outer_(g_hold.exchange(this)) {}

DecodeFailureHold::~DecodeFailureHold() {
  g_hold.store(outer_);
  // Nothing is locked here any more (the holder's lock was left before this
  // goes); a reporter may take as long as it likes.
  for (const Held& h : held_)
    Report(h.dumpFileName.c_str(), h.input.data(), static_cast<uint32_t>(h.input.size()));
}

void DecodeFailureHold::Keep(const char* dumpFileName, const uint8_t* input, uint32_t length) {
  if (!g_reporter.load(std::memory_order_acquire)) return;  // nobody to tell
  std::lock_guard<std::mutex> lock(mutex_);
  Held* held = nullptr;
  for (Held& h : held_)
    if (h.dumpFileName == dumpFileName) held = &h;
  try {
    if (!held) {
      held_.push_back(Held{dumpFileName, {}});
      held = &held_.back();
    }
    held->input.assign(input, input + length);
  } catch (const std::bad_alloc&) {
    // Without memory for a copy the user is still told, with an empty dump.
    if (held) held->input.clear();
  }
}
