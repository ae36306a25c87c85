// zkview: a viewer without a window, for Linux. It joins a presenter's
// session (zkhost present) as zkhost view does, follows it with the
// portable viewer model for --seconds or until the presenter ends it, then
// prints what it received and names the picture it holds by its digest, and
// saves it as a PNG when asked. Light enough to run by the hundred: one
// thread, blocking reads, no window, no library.
//
// Exit codes: 0 the session ended in order (time up, or the presenter closed
// it); 1 it could not be joined, or ended on a broken or malformed stream, or
// the PNG could not be written; 2 the command line. Reasons go to stderr,
// the figures and the picture line to stdout. A session is joined directly
// (--connect) or through NATS servers (--nats).

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "HeadlessViewer.h"
#include "NatsJoin.h"
#include "PictureFile.h"
#include "PictureOutput.h"
#include "PresenterJoin.h"
#include "ViewCommandLine.h"

namespace {
using Clock = std::chrono::steady_clock;

int Fail(int code, const std::string& reason) {
  std::fprintf(stderr, "zkview: %s\n", reason.c_str());
  return code;
}

Clock::time_point Deadline(double seconds) {
  if (seconds <= 0) return Clock::time_point::max();
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void PrintFigures(const ViewFigures& figures, double seconds) {
  std::printf("figures events %llu applied %llu display-updates %llu full-updates %llu "
              "bytes %llu seconds %.1f\n",
              static_cast<unsigned long long>(figures.events),
              static_cast<unsigned long long>(figures.applied),
              static_cast<unsigned long long>(figures.displayUpdates),
              static_cast<unsigned long long>(figures.fullUpdates),
              static_cast<unsigned long long>(figures.bytesReceived), seconds);
}

// The end of a joined session: figures, picture line, PNG.
int Report(const ViewEnd& end, const ViewFigures& figures, const Picture& picture,
           double seconds, const std::string& savePath) {
  std::fprintf(stderr, "zkview: session ended: %s\n", end.reason.c_str());
  PrintFigures(figures, seconds);
  std::printf("%s\n", PictureLine(picture).c_str());
  std::fflush(stdout);
  if (!savePath.empty()) {
    if (picture.width == 0) return Fail(1, "no picture was received: nothing saved");
    std::string error;
    if (!WritePictureFile(savePath, picture, error)) return Fail(1, "cannot save: " + error);
  }
  return end.orderly ? 0 : 1;
}

std::unique_ptr<ByteStream> Join(const ViewCommandLine& line, int* exitCode, std::string* error) {
  *exitCode = 1;
  if (line.direct) return JoinPresenterDirectly(line, error);
  return JoinThroughNats(line, exitCode, error);
}
}  // namespace

int main(int argc, char** argv) {
  ViewCommandLine line;
  std::string error;
  if (!ParseViewCommandLine(argc, argv, &line, &error)) {
    std::fprintf(stderr, "zkview: %s\n%s", error.c_str(), ViewUsage());
    return 2;
  }
  int exitCode = 1;
  std::unique_ptr<ByteStream> stream = Join(line, &exitCode, &error);
  if (!stream) return Fail(exitCode, error);

  const Clock::time_point start = Clock::now();
  ViewerModel model;
  HeadlessViewer viewer(*stream, model);
  const ViewEnd end = viewer.Run(Deadline(line.seconds));
  stream->Close();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return Report(end, viewer.Figures(), CopyPicture(model.Picture()), seconds, line.savePath);
}
