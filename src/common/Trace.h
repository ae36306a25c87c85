#pragma once

// Diagnostics of the engine: one function, a level and a printf-style format.
// The delivered library sends trace lines nowhere; a test or a tool may
// install a sink to read them. Lines conventionally begin with "\r\n".

enum TraceLevel {
  TRACE_WARNING = 1,
  TRACE_LIFECYCLE = 5,
  TRACE_COMPRESSION = 10,
};

// Receives one formatted line. Called on whichever thread traced.
using TraceSink = void (*)(int level, const char* line);

// Installs a sink (null: trace nowhere) and returns the previous one.
TraceSink SetTraceSink(TraceSink sink);

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void Trace(int level, const char* format, ...);
