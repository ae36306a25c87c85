// zkhost: a sample native host of ZK.dll, and the example of its calling
// order: load the library, ZK_Init, place and enable the session, drain the
// outgoing queue (freeing each payload), post received events, ZK_Release.
//
//   zkhost local [--rect X,Y,W,H] [--seconds N] [--token T]
//     starts a presenter session on this machine, shows the session window
//     at the rectangle, and reports what the library queues.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "ZKLibrary.h"

namespace {
struct Options {
  int x = 100, y = 100, width = 640, height = 480;
  int seconds = 5;
  uint32_t token = 1;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 2; i < argc; ++i) {
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!value) return false;
    if (!std::strcmp(argv[i], "--rect")) {
      if (std::sscanf(value, "%d,%d,%d,%d", &options->x, &options->y, &options->width,
                      &options->height) != 4)
        return false;
    } else if (!std::strcmp(argv[i], "--seconds")) {
      options->seconds = std::atoi(value);
    } else if (!std::strcmp(argv[i], "--token")) {
      options->token = static_cast<uint32_t>(std::strtoul(value, nullptr, 0));
    } else {
      return false;
    }
    ++i;
  }
  return true;
}

// Takes every queued event; the host owns each payload and frees it.
void DrainEvents(ZKLibrary& zk, std::map<uint32_t, unsigned>* counts, unsigned long long* bytes) {
  ZKEvent event;
  while (zk.GetQueuedEvent(&event)) {
    ++(*counts)[event.type];
    *bytes += event.size;
    if (event.payload) GlobalFree(event.payload);
  }
}

int RunLocal(const Options& options) {
  ZKLibrary zk;
  if (!zk.Load()) return 1;
  if (!zk.Init(nullptr)) {
    std::fprintf(stderr, "ZK_Init failed\n");
    return 1;
  }
  zk.SetPosition(options.x, options.y, options.width, options.height, 1);
  zk.EnableCapture(1, options.token);

  std::map<uint32_t, unsigned> counts;
  unsigned long long bytes = 0;
  DWORD start = GetTickCount();
  while (GetTickCount() - start < static_cast<DWORD>(options.seconds) * 1000) {
    if (zk.WaitForEvents(100)) DrainEvents(zk, &counts, &bytes);
  }
  zk.Release();
  DrainEvents(zk, &counts, &bytes);

  std::printf("session ran %d s: %llu payload bytes queued\n", options.seconds, bytes);
  for (const auto& entry : counts) std::printf("  type %u: %u events\n", entry.first, entry.second);
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (argc < 2 || std::strcmp(argv[1], "local") || !ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr, "usage: zkhost local [--rect X,Y,W,H] [--seconds N] [--token T]\n");
    return 2;
  }
  return RunLocal(options);
}
