#include "compression/DecodeFailureReporter.h"

#include <atomic>

namespace {
std::atomic<DecodeFailureReporter> g_reporter{nullptr};
}

DecodeFailureReporter SetDecodeFailureReporter(DecodeFailureReporter reporter) {
  return g_reporter.exchange(reporter);
}

void ReportDecodeFailure(const char* dumpFileName, const uint8_t* input, uint32_t length) {
  if (DecodeFailureReporter reporter = g_reporter.load(std::memory_order_acquire)) {
    reporter(dumpFileName, input, length);
  }
}
