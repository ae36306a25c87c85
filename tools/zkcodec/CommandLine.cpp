#include "CommandLine.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>

#include "CompressorSetup.h"

namespace {

using OptionHandler = std::function<bool(const std::string& value, std::string& error)>;
using OptionTable = std::map<std::string, OptionHandler>;

bool ParseUnsigned(const std::string& name, const std::string& text, uint64_t max, uint64_t& value,
                   std::string& error) {
  if (text.empty() || text[0] < '0' || text[0] > '9') {
    error = name + " needs a number, not '" + text + "'";
    return false;
  }
  errno = 0;
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || parsed > max) {
    error = name + ": '" + text + "' is not a number from 0 to " + std::to_string(max);
    return false;
  }
  value = parsed;
  return true;
}

bool ParseSigned32(const std::string& name, const std::string& text, int32_t& value, std::string& error) {
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || parsed < INT32_MIN || parsed > INT32_MAX) {
    error = name + " needs a 32-bit integer, not '" + text + "'";
    return false;
  }
  value = static_cast<int32_t>(parsed);
  return true;
}

OptionHandler StagesOption(uint8_t& flags) {
  return [&flags](const std::string& value, std::string& error) { return ParseStageFlags(value, flags, error); };
}

OptionHandler LZMaxOption(int32_t& limit) {
  return [&limit](const std::string& value, std::string& error) {
    return ParseSigned32("--lzmax", value, limit, error);
  };
}

OptionHandler PathOption(std::string& path) {
  return [&path](const std::string& value, std::string&) {
    path = value;
    return true;
  };
}

OptionHandler CountOption(const std::string& name, uint32_t minimum, uint32_t& count) {
  return [name, minimum, &count](const std::string& value, std::string& error) {
    uint64_t parsed = 0;
    if (!ParseUnsigned(name, value, UINT32_MAX, parsed, error)) return false;
    if (parsed < minimum) {
      error = name + " must be at least " + std::to_string(minimum);
      return false;
    }
    count = static_cast<uint32_t>(parsed);
    return true;
  };
}

// Splits the arguments into options (applied through the table) and
// positional arguments.
bool ParseArguments(const std::vector<std::string>& args, size_t first, const OptionTable& options,
                    std::vector<std::string>& positional, std::string& error) {
  bool optionsEnded = false;
  for (size_t i = first; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const auto option = options.find(name);
    if (option == options.end()) {
      error = "unknown option " + name;
      return false;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      error = name + " needs a value";
      return false;
    }
    if (!option->second(value, error)) return false;
  }
  return true;
}

bool ExpectPositional(const std::string& command, const std::vector<std::string>& positional, size_t count,
                      const char* names, std::string& error) {
  if (positional.size() == count) return true;
  error = command + " takes " + names;
  return false;
}

bool ParseCompress(const std::vector<std::string>& args, CompressOptions& options, std::string& error) {
  std::vector<std::string> positional;
  const OptionTable table = {
      {"--stages", StagesOption(options.stageFlags)},
      {"--lzmax", LZMaxOption(options.lzMaxSearch)},
      {"--ref", PathOption(options.referencePath)},
  };
  if (!ParseArguments(args, 1, table, positional, error) ||
      !ExpectPositional("compress", positional, 2, "IN.png OUT", error)) {
    return false;
  }
  options.inputPath = positional[0];
  options.outputPath = positional[1];
  return true;
}

bool ParseDecompress(const std::vector<std::string>& args, DecompressOptions& options, std::string& error) {
  std::vector<std::string> positional;
  const OptionTable table = {
      {"--width", CountOption("--width", 4, options.width)},
      {"--height", CountOption("--height", 1, options.height)},
      {"--ref", PathOption(options.referencePath)},
  };
  if (!ParseArguments(args, 1, table, positional, error) ||
      !ExpectPositional("decompress", positional, 2, "IN OUT.png", error)) {
    return false;
  }
  if (options.width == 0 || options.height == 0) {
    error = "decompress needs --width and --height";
    return false;
  }
  if (!FitsOneRegion(uint64_t{options.width & ~3u} * options.height)) {
    error = "the region is too large";
    return false;
  }
  options.inputPath = positional[0];
  options.outputPath = positional[1];
  return true;
}

bool ParseBench(const std::vector<std::string>& args, BenchOptions& options, std::string& error) {
  const OptionTable table = {
      {"--stages", StagesOption(options.stageFlags)},
      {"--lzmax", LZMaxOption(options.lzMaxSearch)},
      {"--bands", CountOption("--bands", 1, options.bands)},
      {"--json", PathOption(options.jsonPath)},
  };
  if (!ParseArguments(args, 1, table, options.paths, error)) return false;
  if (options.paths.empty()) {
    error = "bench needs at least one PNG file or folder of frames";
    return false;
  }
  return true;
}

}  // namespace

bool ParseStageFlags(const std::string& text, uint8_t& flags, std::string& error) {
  const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = prefixed ? text.substr(2) : text;
  const bool hexadecimal = !digits.empty() && digits.size() <= 2 &&
                           digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
  const unsigned long value = hexadecimal ? std::strtoul(digits.c_str(), nullptr, 16) : 0x100;
  if (value > 0x0F) {
    error = "--stages takes hexadecimal flags 00 to 0F, not '" + text + "'";
    return false;
  }
  if ((value & 0x06) == 0x06) {
    error = "--stages: the 5-6-5 (02) and 3-3-2 (04) run-length stages exclude each other";
    return false;
  }
  flags = static_cast<uint8_t>(value);
  return true;
}

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& command, std::string& error) {
  command = CommandLine();
  if (args.empty()) {
    error = "no command given";
    return false;
  }
  const std::string& name = args[0];
  if (name == "help" || name == "--help" || name == "-h") {
    command.kind = CommandKind::Help;
    return true;
  }
  if (name == "compress") {
    command.kind = CommandKind::Compress;
    return ParseCompress(args, command.compress, error);
  }
  if (name == "decompress") {
    command.kind = CommandKind::Decompress;
    return ParseDecompress(args, command.decompress, error);
  }
  if (name == "bench") {
    command.kind = CommandKind::Bench;
    return ParseBench(args, command.bench, error);
  }
  error = "unknown command '" + name + "'";
  return false;
}

const char* UsageText() {
  return "usage:\n"
         "  zkcodec compress [--stages HEX] [--lzmax N] [--ref REF.png] IN.png OUT\n"
         "      Writes the compressed stream of the whole picture as one region.\n"
         "      --stages  stage flags: 01 Huffman, 02 run-length 5-6-5, 04 run-length 3-3-2,\n"
         "                08 LZ77 (default 0B)\n"
         "      --lzmax   LZ77 candidates examined per position (default 32768)\n"
         "      --ref     what the receiver already shows (same size); unchanged pixels are skipped\n"
         "  zkcodec decompress --width W --height H [--ref REF.png] IN OUT.png\n"
         "      Decodes a stream over the reference picture (or grey) of W x H pixels;\n"
         "      8-bit (3-3-2) streams decode through the nominal colours of their values.\n"
         "  zkcodec bench [--stages HEX] [--lzmax N] [--bands N] [--json FILE] PATH...\n"
         "      Measures stills (PNG files) and sequences (folders of numbered frames,\n"
         "      each frame against the previous one) against zlib, zstd and lz4.\n"
         "      --bands   compress each picture as N horizontal bands\n"
         "      --json    also write one JSON object per frame to FILE\n"
         "Widths are rounded down to a multiple of 4.\n";
}
