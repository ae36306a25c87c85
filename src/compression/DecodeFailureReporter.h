#pragma once

#include <cstdint>

// A decoder that meets a token it cannot apply hands its whole input to the
// installed reporter before failing. The Win32 library installs one that
// dumps the input to a file and tells the user; tests install their own. With
// none installed nothing is reported.
using DecodeFailureReporter = void (*)(const char* dumpFileName, const uint8_t* input,
                                       uint32_t length);

// Installs a reporter (null: none) and returns the previous one.
DecodeFailureReporter SetDecodeFailureReporter(DecodeFailureReporter reporter);

void ReportDecodeFailure(const char* dumpFileName, const uint8_t* input, uint32_t length);
