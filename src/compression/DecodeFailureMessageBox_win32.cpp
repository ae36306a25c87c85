#include <windows.h>

#include <cstdio>
#include <string>

#include "compression/DecodeFailureMessageBox.h"
#include "compression/DecodeFailureReporter.h"

namespace {

void DumpInput(const char* dumpFileName, const uint8_t* input, uint32_t length) {
  // A dump that cannot be written must not keep the user from being told.
  FILE* file = std::fopen(dumpFileName, "wb");
  if (!file) return;
  std::fwrite(input, 1, length, file);
  std::fclose(file);
}

void ReportWithMessageBox(const char* dumpFileName, const uint8_t* input, uint32_t length) {
  DumpInput(dumpFileName, input, length);
  const std::string caption =
      std::string("Please email file ") + dumpFileName + " to zenkast-support@morvane.com";
  MessageBoxA(nullptr, "Decompression Error!", caption.c_str(), MB_OK);
}

}  // namespace

void InstallMessageBoxDecodeFailureReporter() { SetDecodeFailureReporter(ReportWithMessageBox); }
