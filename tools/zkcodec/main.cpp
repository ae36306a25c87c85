#include <cstdio>
#include <string>
#include <vector>

#include "BenchCommand.h"
#include "CodecCommands.h"
#include "CommandLine.h"

// Exit codes: 0 done, 1 the command failed, 2 the command line is wrong.
int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  CommandLine command;
  std::string error;
  if (!ParseCommandLine(args, command, error)) {
    std::fprintf(stderr, "zkcodec: %s\n%s", error.c_str(), UsageText());
    return 2;
  }
  std::string summary;
  bool done = true;
  switch (command.kind) {
    case CommandKind::Help:
      std::fputs(UsageText(), stdout);
      return 0;
    case CommandKind::Bench:
      return RunBenchCommand(command.bench);
    case CommandKind::Compress:
      done = RunCompress(command.compress, summary, error);
      break;
    case CommandKind::Decompress:
      done = RunDecompress(command.decompress, summary, error);
      break;
  }
  if (!done) {
    std::fprintf(stderr, "zkcodec: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", summary.c_str());
  return 0;
}
