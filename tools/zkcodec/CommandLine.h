#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The command line of zkcodec: three subcommands and their options, parsed
// into plain structs so that the commands themselves never see argv.

// Huffman | 5-6-5 run-length | LZ77: what a default configuration enables.
constexpr uint8_t kDefaultStageFlags = 0x0B;
constexpr int32_t kDefaultLZMaxSearch = 32768;

struct CompressOptions {
  uint8_t stageFlags = kDefaultStageFlags;
  int32_t lzMaxSearch = kDefaultLZMaxSearch;
  std::string referencePath;  // empty: no reference
  std::string inputPath;
  std::string outputPath;
};

struct DecompressOptions {
  uint32_t width = 0;  // as given; the region is FrameWidth(width) wide
  uint32_t height = 0;
  std::string referencePath;  // empty: the region starts grey
  std::string inputPath;
  std::string outputPath;
};

struct BenchOptions {
  uint8_t stageFlags = kDefaultStageFlags;
  int32_t lzMaxSearch = kDefaultLZMaxSearch;
  uint32_t bands = 1;
  std::string jsonPath;  // empty: no machine-readable output
  std::vector<std::string> paths;
};

enum class CommandKind { Help, Compress, Decompress, Bench };

struct CommandLine {
  CommandKind kind = CommandKind::Help;
  CompressOptions compress;
  DecompressOptions decompress;
  BenchOptions bench;
};

// args excludes the program name. Options take their value as the next
// argument or after '='; "--" ends the options. On failure returns false
// with a one-line reason.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& command, std::string& error);

// Stage flags as hexadecimal ("0B", "0xb"): bits 0x01 to 0x08 only, and
// never both run-length depths.
bool ParseStageFlags(const std::string& text, uint8_t& flags, std::string& error);

const char* UsageText();
