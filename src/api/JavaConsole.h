#pragma once

// The few messages of the Java binding, which go to the Java host's standard
// output (the trace function of the rest of the library writes nowhere).
// Each line is flushed at once, so that it stands in order with the host's
// own output. Any thread.

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void PrintToJavaConsole(const char* format, ...);
