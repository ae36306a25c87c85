#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// A decoder that meets a token it cannot apply hands its whole input to the
// installed reporter before failing. The Win32 library installs one that
// dumps the input to a file and tells the user; tests install their own. With
// none installed nothing is reported.
using DecodeFailureReporter = void (*)(const char* dumpFileName, const uint8_t* input,
                                       uint32_t length);

// Installs a reporter (null: none) and returns the previous one.
DecodeFailureReporter SetDecodeFailureReporter(DecodeFailureReporter reporter);

void ReportDecodeFailure(const char* dumpFileName, const uint8_t* input, uint32_t length);

// Holds back the reports of failing decoders while it lives and makes them
// when it goes. A thread that decodes under a lock other threads wait for
// (the worker dispatching received events under the queue lock) opens one
// before taking the lock, so that a slow or modal reporter runs only once
// the lock is left. Of the failures of one dump file only the last is kept:
// a burst of corrupt updates asks the user once per file, and what is held
// stays as small as one input per file.
//
// Holding is process-wide, not per thread: in the library only the worker
// decodes. Holds nest; the innermost one collects.
class DecodeFailureHold {
 public:
  DecodeFailureHold();
  ~DecodeFailureHold();
  DecodeFailureHold(const DecodeFailureHold&) = delete;
  DecodeFailureHold& operator=(const DecodeFailureHold&) = delete;

  void Keep(const char* dumpFileName, const uint8_t* input, uint32_t length);

 private:
  struct Held {
    std::string dumpFileName;
    std::vector<uint8_t> input;
  };

  DecodeFailureHold* outer_;
  std::mutex mutex_;
  std::vector<Held> held_;
};
