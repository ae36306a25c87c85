// zkcontent: shows real screen content where a presenter shares its screen,
// changes it over time, and measures what a viewer beside it shows: how soon
// after each change the viewer's window holds the new picture, and how
// closely it matches. Used by the demo and the session benchmark.
//
//   zkcontent --rect X,Y,W,H --corpus DIR [--watch X,Y] [--save DIR]
//             [--idle S] [--settle S] [--interval MS] [--frames-per-sequence N]
//             [--timeout S] [--hold S]
//   zkcontent --grab X,Y,W,H FILE
//
// --rect: where the content goes (the presenter's shared area); --watch: the
// top-left corner of the viewer's window, of the same size; --idle: seconds
// the first picture stays unchanged once the viewer shows it (without
// --watch: once it is drawn), after --settle seconds; --interval:
// milliseconds each picture stays at least; --save: PNGs of both areas at
// the end; --hold: seconds the last picture stays after that, announced by
// the line "phase held", so that a script can act on the still content (the
// demo annotates it). Lines starting with "phase" mark when the content
// starts to stay still and to change, for scripts that measure each part; a
// line "change" gives each change's wall-clock time (Unix seconds) and the
// box that changed, for scripts that time another viewer of the same screen.
// --grab saves a PNG of a rectangle of the screen as it is now.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ContentScript.h"
#include "ContentWindow.h"
#include "PictureFile.h"
#include "PictureMatch.h"
#include "ScreenGrab.h"

namespace {
using Clock = std::chrono::steady_clock;

// The viewer draws the presenter's pointer over its picture, at the frame's
// top-left corner until the presenter's pointer moves: nobody moves it here.
const std::vector<PictureBox> kPointerCorner = {{0, 0, 32, 32}};
constexpr DWORD kGrabPauseMs = 10;

struct Options {
  int x = 0, y = 0, width = 624, height = 600;
  bool watch = false;
  int watchX = 0, watchY = 0;
  std::string corpus, saveDir;
  double idleSeconds = 0;
  double settleSeconds = 0;
  int intervalMs = 300;
  int framesPerSequence = 5;
  double timeoutSeconds = 10;
  double holdSeconds = 0;
};

bool Parse(int argc, char** argv, Options* o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string name = argv[i];
    const char* value = argv[i + 1];
    if (name == "--rect") {
      if (std::sscanf(value, "%d,%d,%d,%d", &o->x, &o->y, &o->width, &o->height) != 4) return false;
    } else if (name == "--watch") {
      if (std::sscanf(value, "%d,%d", &o->watchX, &o->watchY) != 2) return false;
      o->watch = true;
    } else if (name == "--corpus") {
      o->corpus = value;
    } else if (name == "--save") {
      o->saveDir = value;
    } else if (name == "--idle") {
      o->idleSeconds = std::atof(value);
    } else if (name == "--settle") {
      o->settleSeconds = std::atof(value);
    } else if (name == "--interval") {
      o->intervalMs = std::atoi(value);
    } else if (name == "--frames-per-sequence") {
      o->framesPerSequence = std::atoi(value);
    } else if (name == "--timeout") {
      o->timeoutSeconds = std::atof(value);
    } else if (name == "--hold") {
      o->holdSeconds = std::atof(value);
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && !o->corpus.empty() && o->width % 4 == 0;
}

// Wall-clock time in Unix seconds: the clock that a native process beside
// this one reads too.
double UnixSeconds() {
  constexpr uint64_t kUnixEpochIn100ns = 116444736000000000ull;
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  uint64_t ticks = static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
  return static_cast<double>(ticks - kUnixEpochIn100ns) / 1e7;
}

void PrintChange(size_t scene, double when, const PictureBox& box) {
  std::printf("change %zu at=%.4f box=%d,%d,%d,%d\n", scene, when, static_cast<int>(box.left),
              static_cast<int>(box.top), static_cast<int>(box.right), static_cast<int>(box.bottom));
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Pumps our window and waits a little, so that grabs see our own paints.
void PumpFor(DWORD ms) {
  MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
  ContentWindow::Pump();
}

void HoldUntil(Clock::time_point start, double seconds) {
  while (Seconds(start) < seconds) PumpFor(kGrabPauseMs);
}

// Seconds until the viewer's window shows `expected` inside `box` (the part
// that changed: grabbing only that keeps the probe light next to the
// presenter it measures), or a negative value at the time-out.
double WaitForViewer(const Options& o, const Picture& expected, PictureBox box,
                     Clock::time_point changed, double timeout) {
  if (box.right <= box.left) return 0;  // nothing changed
  box.left &= ~3;
  box.right = std::min<int32_t>((box.right + 3) & ~3, o.width);
  Picture wanted = CropPicture(expected, box.left, box.top, box.right - box.left,
                               box.bottom - box.top);
  std::vector<PictureBox> pointer;
  for (const PictureBox& p : kPointerCorner)
    pointer.push_back({p.left - box.left, p.top - box.top, p.right - box.left, p.bottom - box.top});
  Picture shown;
  while (Seconds(changed) < timeout) {
    PumpFor(kGrabPauseMs);
    if (!GrabScreen(o.watchX + box.left, o.watchY + box.top, wanted.width, wanted.height, &shown))
      continue;
    if (Compare565(wanted, shown, pointer).mismatched == 0) return Seconds(changed);
  }
  return -1;
}

struct Latencies {
  std::vector<double> seconds;
  int missed = 0;
};

void PrintLatencies(Latencies& l) {
  if (l.seconds.empty()) {
    std::printf("latency: the viewer never showed a change (%d missed)\n", l.missed);
    return;
  }
  std::sort(l.seconds.begin(), l.seconds.end());
  double median = l.seconds[l.seconds.size() / 2];
  std::printf("latency from a change on screen to the viewer showing it: median %.2f s, "
              "min %.2f s, max %.2f s over %zu changes (%d not shown in time)\n",
              median, l.seconds.front(), l.seconds.back(), l.seconds.size(), l.missed);
  std::printf("figures latency_median_ms=%.0f latency_min_ms=%.0f latency_max_ms=%.0f "
              "changes_shown=%zu changes_missed=%d\n",
              median * 1000, l.seconds.front() * 1000, l.seconds.back() * 1000, l.seconds.size(),
              l.missed);
}

// Shows each scene in turn: with a viewer to watch, times how soon it shows
// each change; marks the phases; holds each scene at least the interval.
Latencies Play(const Options& o, ContentWindow& window, const std::vector<Scene>& scenes) {
  // The viewer may still be starting: the first picture gets longer.
  constexpr double kFirstTimeout = 60;
  Latencies latencies;
  for (size_t i = 0; i < scenes.size(); ++i) {
    window.Show(scenes[i].picture);
    Clock::time_point changed = Clock::now();
    double changedAt = UnixSeconds();
    // The first picture is compared whole: the viewer starts from grey.
    PictureBox box = i ? DifferenceBox(scenes[i - 1].picture, scenes[i].picture)
                       : PictureBox{0, 0, o.width, o.height};
    if (i > 0 && box.right > box.left) PrintChange(i, changedAt, box);
    if (o.watch) {
      double shown =
          WaitForViewer(o, scenes[i].picture, box, changed, i ? o.timeoutSeconds : kFirstTimeout);
      if (shown < 0)
        std::printf("scene %2zu %-44s not shown in time\n", i, scenes[i].label.c_str());
      else
        std::printf("scene %2zu %-44s shown by the viewer after %.2f s\n", i,
                    scenes[i].label.c_str(), shown);
      // The first picture's time includes the viewer's start: not a latency.
      if (i > 0 && shown < 0) ++latencies.missed;
      if (i > 0 && shown >= 0) latencies.seconds.push_back(shown);
    }
    if (i == 0 && o.idleSeconds > 0) {
      // What the first picture cost (its last bytes may be counted a moment
      // after the viewer shows it) stays out of the still part.
      HoldUntil(o.watch ? Clock::now() : changed, o.settleSeconds);
      std::printf("phase still\n");
      std::fflush(stdout);
      HoldUntil(Clock::now(), o.idleSeconds);
      std::printf("phase changing\n");
    }
    std::fflush(stdout);
    HoldUntil(changed, o.intervalMs / 1000.0);
  }
  std::printf("phase end\n");
  return latencies;
}

bool SaveAndCompare(const Options& o) {
  Picture presenter, viewer;
  std::string error;
  if (!GrabScreen(o.x, o.y, o.width, o.height, &presenter) ||
      !WritePictureFile(o.saveDir + "\\presenter.png", presenter, error)) {
    std::fprintf(stderr, "cannot save the presenter's area: %s\n", error.c_str());
    return false;
  }
  if (!o.watch) return true;
  if (!GrabScreen(o.watchX, o.watchY, o.width, o.height, &viewer) ||
      !WritePictureFile(o.saveDir + "\\viewer.png", viewer, error)) {
    std::fprintf(stderr, "cannot save the viewer's window: %s\n", error.c_str());
    return false;
  }
  MatchReport match = Compare565(presenter, viewer, kPointerCorner);
  std::printf("match: %.3f%% of %llu pixels within 5-6-5 precision (largest differences: red "
              "%d, green %d, blue %d; not compared: the corner where the viewer draws the "
              "presenter's pointer)\n",
              100 * match.MatchedShare(), static_cast<unsigned long long>(match.pixels),
              match.maxRed, match.maxGreen, match.maxBlue);
  std::printf("figures match_share=%.5f mismatched_pixels=%llu\n", match.MatchedShare(),
              static_cast<unsigned long long>(match.mismatched));
  return true;
}

int Grab(const char* rect, const char* file) {
  int x = 0, y = 0, width = 0, height = 0;
  Picture shown;
  std::string error;
  if (std::sscanf(rect, "%d,%d,%d,%d", &x, &y, &width, &height) != 4 || width % 4 != 0 ||
      !GrabScreen(x, y, width, height, &shown) || !WritePictureFile(file, shown, error)) {
    std::fprintf(stderr, "cannot save %s of the screen to %s %s\n", rect, file, error.c_str());
    return 1;
  }
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--grab") return Grab(argv[2], argv[3]);
  Options o;
  if (!Parse(argc, argv, &o)) {
    std::fprintf(stderr,
                 "usage: zkcontent --rect X,Y,W,H --corpus DIR [--watch X,Y] [--save DIR]\n"
                 "                 [--idle S] [--settle S] [--interval MS] "
                 "[--frames-per-sequence N] [--timeout S] [--hold S]\n"
                 "       zkcontent --grab X,Y,W,H FILE\n");
    return 2;
  }
  ScriptOptions script;
  script.corpus = o.corpus;
  script.width = static_cast<uint32_t>(o.width);
  script.height = static_cast<uint32_t>(o.height);
  script.framesPerSequence = o.framesPerSequence;
  std::vector<Scene> scenes;
  std::string error;
  if (!LoadScenes(script, &scenes, &error)) {
    std::fprintf(stderr, "cannot load the content: %s\n", error.c_str());
    return 1;
  }
  ContentWindow window;
  if (!window.Create(o.x, o.y, o.width, o.height)) {
    std::fprintf(stderr, "cannot create the content window\n");
    return 1;
  }

  Latencies latencies = Play(o, window, scenes);
  if (o.watch) PrintLatencies(latencies);
  if (!o.saveDir.empty() && !SaveAndCompare(o)) return 1;
  if (o.holdSeconds > 0) {
    std::printf("phase held\n");
    std::fflush(stdout);
    HoldUntil(Clock::now(), o.holdSeconds);
  }
  std::fflush(stdout);
  return 0;
}
