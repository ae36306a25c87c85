// zk_stage_costs: what each step of the presenter's and the viewer's work
// costs on this display, for the session benchmark's budget. Run under Wine
// on the benchmark's virtual display (bench/session/stage-costs.sh):
//
//   zk_stage_costs [--rect X,Y,W,H] [--repeat N]
//   zk_stage_costs --idle sleep5|wait [--seconds S]
//
// Measures, on a still screen: grabbing the whole area and one band of the
// default progressive poll (a tenth of the rows) and the 64-row pointer band;
// comparing a grabbed band with the reference (one memory comparison, and
// the compressor's run-length pass that finds it unchanged); compressing a
// changed band; drawing the whole frame into a window (the viewer's paint);
// and, with --idle, runs a worker loop with nothing to do that sleeps 5 ms
// between looks at its queue or waits for messages (the script measures its
// CPU and wineserver's). Prints one line per figure: wall milliseconds per
// call and CPU milliseconds per call (process time, in the coarse steps Wine
// reports it), then "figures ..." lines.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "events/EventMgr.h"
#include "frames/FrameMgr.h"
#include "frames/PixelRoutines.h"

namespace {
constexpr int kPointerBandRows = 64;
constexpr int kDefaultBands = 10;

struct Options {
  int x = 0, y = 0, width = 1920, height = 1080;
  int repeat = 20;
  std::string idle;  // "sleep5" or "wait": only the idle loop, for idleSeconds
  double idleSeconds = 5;
};

bool Parse(int argc, char** argv, Options* o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string name = argv[i];
    if (name == "--rect") {
      if (std::sscanf(argv[i + 1], "%d,%d,%d,%d", &o->x, &o->y, &o->width, &o->height) != 4)
        return false;
    } else if (name == "--repeat") {
      o->repeat = std::atoi(argv[i + 1]);
    } else if (name == "--idle") {
      o->idle = argv[i + 1];
    } else if (name == "--seconds") {
      o->idleSeconds = std::atof(argv[i + 1]);
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && o->repeat > 0 && o->width % 4 == 0 &&
         (o->idle.empty() || o->idle == "sleep5" || o->idle == "wait");
}

double Now() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// CPU seconds of this process (user and kernel), in the steps Wine reports.
double ProcessCpu() {
  FILETIME created, ended, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>(static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
}

struct Cost {
  double wallMs = 0, cpuMs = 0;
};

Cost Measure(int repeat, const std::function<void()>& step) {
  step();  // the first call pays for allocations the others reuse
  double wall = Now(), cpu = ProcessCpu();
  for (int i = 0; i < repeat; ++i) step();
  return {(Now() - wall) * 1000 / repeat, (ProcessCpu() - cpu) * 1000 / repeat};
}

void Report(const char* key, const char* what, const Cost& cost) {
  std::printf("%-58s %8.2f ms wall %8.2f ms CPU\n", what, cost.wallMs, cost.cpuMs);
  std::printf("figures %s_wall_ms=%.3f %s_cpu_ms=%.3f\n", key, cost.wallMs, key, cost.cpuMs);
  std::fflush(stdout);
}

// The worker's loop with nothing to do, for `seconds`: the script that runs
// this measures the CPU it costs this process and wineserver.
void SleepingLoop(HANDLE stop) {
  MSG msg;
  while (WaitForSingleObject(stop, 0) == WAIT_TIMEOUT) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(5);
  }
}

void WaitingLoop(HANDLE stop) {
  MSG msg;
  while (MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

HWND PaintWindow(const Options& o) {
  return CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP | WS_VISIBLE, o.x, o.y,
                         o.width, o.height, nullptr, nullptr, nullptr, nullptr);
}

// Compares a packed band with the same rows of the frame: the rows of a band
// that spans the frame's width lie one after another in both.
bool BandEqualsFrame(const uint8_t* band, const uint8_t* frame, int32_t frameWidth,
                     int32_t frameHeight, int32_t top, int32_t rows) {
  size_t rowBytes = static_cast<size_t>(frameWidth) * 3;
  const uint8_t* first = frame + static_cast<size_t>(frameHeight - top - rows) * rowBytes;
  return std::memcmp(band, first, rowBytes * rows) == 0;
}

int RunIdle(const Options& o) {
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread timer([&] {
    Sleep(static_cast<DWORD>(o.idleSeconds * 1000));
    SetEvent(stop);
  });
  std::printf("idle %s start\n", o.idle.c_str());
  std::fflush(stdout);
  if (o.idle == "sleep5")
    SleepingLoop(stop);
  else
    WaitingLoop(stop);
  timer.join();
  std::printf("idle %s end\n", o.idle.c_str());
  return 0;
}

int Run(const Options& o) {
  EventMgr owner;
  FrameMgr frames;
  if (!frames.Init(&owner)) {
    std::fprintf(stderr, "cannot read the screen\n");
    return 1;
  }
  // The library's default stages: 5-6-5 run-length, LZ77, Huffman.
  frames.EnableRLE565(true);
  frames.EnableLZ(true);
  frames.EnableHuffman(true);
  frames.SetLZMaxSearch(32768);
  const int w = o.width, h = o.height, band = h / kDefaultBands;
  RECT area = {o.x, o.y, o.x + w, o.y + h};
  frames.SetCaptureRect(area);
  frames.SetFrameFormat(w, h);
  frames.SetCaptureFormat(w, h);
  std::vector<uint8_t> reference(static_cast<size_t>(w) * h * 3);
  std::vector<uint8_t> scratch(reference.size()), out(CompressBound(w * h));
  std::printf("stage costs on a %d x %d area at %d,%d, %d calls each\n", w, h, o.x, o.y, o.repeat);

  Report("grab_whole", "grab the whole area", Measure(o.repeat, [&] { frames.Grab(0, 0, w, h); }));
  Report("grab_band", "grab one band (a tenth of the rows)",
         Measure(o.repeat, [&] { frames.Grab(0, 0, w, band); }));
  Report("grab_pointer", "grab the 64-row pointer band",
         Measure(o.repeat, [&] { frames.Grab(0, 0, w, kPointerBandRows); }));

  // A reference equal to the screen: what a still screen is compared with.
  frames.Grab(0, 0, w, h);
  frames.SendRect(0, 0, w, h);
  const uint8_t* frame = frames.GetFrameBuffer();
  frames.Grab(0, 0, w, band);
  ExtractRect(3, w, h, frame, 0, 0, w, band, reference.data());
  const uint8_t* grabbed = frames.GetCaptureBuffer();
  // What a still screen is: the band equals the reference.
  std::printf("unchanged band: equal to the frame %d, run-length verdict %u bytes\n",
              BandEqualsFrame(grabbed, frame, w, h, 0, band),
              frames.Compress(3, w * band, reference.data(), grabbed, out.data()));
  volatile bool sink = false;
  Report("compare_band_memcmp", "compare an unchanged band with the frame (memcmp)",
         Measure(o.repeat * 10, [&] { sink = BandEqualsFrame(grabbed, frame, w, h, 0, band); }));
  Report("compare_band_rle", "compare an unchanged band (run-length pass)",
         Measure(o.repeat, [&] {
           frames.Compress(3, w * band, reference.data(), grabbed, out.data());
         }));
  Report("extract_band", "copy a band out of the frame as reference",
         Measure(o.repeat * 10, [&] { ExtractRect(3, w, h, frame, 0, 0, w, band, scratch.data()); }));
  Report("compress_band_changed", "compress a band against a grey reference",
         Measure(o.repeat, [&] {
           std::memset(scratch.data(), 0x80, static_cast<size_t>(w) * band * 3);
           frames.Compress(3, w * band, scratch.data(), grabbed, out.data());
         }));
  Report("send_band_unchanged", "SendRect of an unchanged band (grab to verdict)",
         Measure(o.repeat, [&] { frames.SendRect(0, 0, w, band); }));
  Report("send_whole_unchanged", "SendRect of the unchanged whole area",
         Measure(o.repeat, [&] { frames.SendRect(0, 0, w, h); }));

  HWND window = PaintWindow(o);
  HDC dc = GetDC(window);
  Report("paint_whole", "draw the whole frame into a window (viewer's paint)",
         Measure(o.repeat, [&] {
           frames.Draw(dc, Rect{0, 0, w, h});
           GdiFlush();
         }));
  ReleaseDC(window, dc);
  DestroyWindow(window);

  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!Parse(argc, argv, &o)) {
    std::fprintf(stderr,
                 "usage: zk_stage_costs [--rect X,Y,W,H] [--repeat N]\n"
                 "       zk_stage_costs --idle sleep5|wait [--seconds S]\n");
    return 2;
  }
  return o.idle.empty() ? Run(o) : RunIdle(o);
}
