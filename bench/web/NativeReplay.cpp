// Replays a recorded link (tests/web/RecordViewerStreams.cpp) through the
// framing and the viewer model, natively, as the browser viewer's module
// does in bench/web/decode.mjs: the native side of the decode comparison.
//
//   zk_web_replay FILE.link ROUNDS
//
// Prints one "figures" line: milliseconds a round (the median), events and
// link megabytes a second.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "EventFraming.h"
#include "frames/ViewerModel.h"

namespace {
using Clock = std::chrono::steady_clock;

// One viewer from nothing to the stream's end; false when the framing
// breaks. Events the model refuses (a recorded corrupt update) count too.
bool Round(const std::vector<uint8_t>& link, size_t* events) {
  FrameReader reader;
  ViewerModel model;
  std::vector<ReceivedEvent> received;
  if (!reader.Feed(link.data(), link.size(), &received)) return false;
  for (const ReceivedEvent& e : received)
    model.Receive(e.type, e.payload.data(), static_cast<uint32_t>(e.payload.size()));
  *events = received.size();
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zk_web_replay FILE.link ROUNDS\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<uint8_t> link((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const int rounds = std::max(1, std::atoi(argv[2]));
  std::vector<double> ms;
  size_t events = 0;
  for (int i = 0; i < rounds; ++i) {
    const auto start = Clock::now();
    if (!Round(link, &events)) {
      std::fprintf(stderr, "zk_web_replay: %s does not play\n", argv[1]);
      return 1;
    }
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  const double median = ms[ms.size() / 2];
  std::printf("figures side=native ms_per_round=%.2f events_per_s=%.0f link_mb_per_s=%.2f\n", median,
              events * 1000.0 / median, link.size() / 1e3 / median);
  return 0;
}
