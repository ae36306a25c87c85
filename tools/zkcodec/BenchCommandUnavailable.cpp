#include <cstdio>

#include "BenchCommand.h"

int RunBenchCommand(const BenchOptions&) {
  std::fprintf(stderr,
               "zkcodec: bench is not available in this build; it measures against zlib, zstd and lz4,\n"
               "which only the native build links. Run the native zkcodec instead.\n");
  return 1;
}
