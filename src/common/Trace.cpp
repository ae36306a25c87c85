#include "common/Trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {
std::atomic<TraceSink> g_sink{nullptr};
}

TraceSink SetTraceSink(TraceSink sink) { return g_sink.exchange(sink); }

void Trace(int level, const char* format, ...) {
  TraceSink sink = g_sink.load(std::memory_order_acquire);
  if (!sink) return;  // formatting costs time: skip it when nobody listens
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  sink(level, line);
}
