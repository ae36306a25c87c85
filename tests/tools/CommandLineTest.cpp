#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {

bool Parse(std::vector<std::string> args, CommandLine& command, std::string& error) {
  return ParseCommandLine(args, command, error);
}

}  // namespace

TEST(StageFlags, AcceptHexWithOrWithoutPrefix) {
  uint8_t flags = 0xFF;
  std::string error;
  EXPECT_TRUE(ParseStageFlags("0B", flags, error));
  EXPECT_EQ(flags, 0x0B);
  EXPECT_TRUE(ParseStageFlags("0xd", flags, error));
  EXPECT_EQ(flags, 0x0D);
  EXPECT_TRUE(ParseStageFlags("0", flags, error));
  EXPECT_EQ(flags, 0x00);
}

TEST(StageFlags, RejectUnknownBitsBothDepthsAndNonHex) {
  uint8_t flags = 0x0B;
  std::string error;
  EXPECT_FALSE(ParseStageFlags("10", flags, error));
  EXPECT_FALSE(ParseStageFlags("06", flags, error));
  EXPECT_NE(error.find("exclude"), std::string::npos);
  EXPECT_FALSE(ParseStageFlags("0x", flags, error));
  EXPECT_FALSE(ParseStageFlags("g", flags, error));
  EXPECT_FALSE(ParseStageFlags(" b", flags, error));
  EXPECT_FALSE(ParseStageFlags("00B", flags, error));
  EXPECT_EQ(flags, 0x0B);  // untouched by every failure
}

TEST(CompressCommandLine, DefaultsAreTheStartUpConfiguration) {
  CommandLine command;
  std::string error;
  ASSERT_TRUE(Parse({"compress", "in.png", "out.zk"}, command, error)) << error;
  EXPECT_EQ(command.kind, CommandKind::Compress);
  EXPECT_EQ(command.compress.stageFlags, 0x0B);
  EXPECT_EQ(command.compress.lzMaxSearch, 32768);
  EXPECT_TRUE(command.compress.referencePath.empty());
  EXPECT_EQ(command.compress.inputPath, "in.png");
  EXPECT_EQ(command.compress.outputPath, "out.zk");
}

TEST(CompressCommandLine, OptionsTakeSeparateOrJoinedValuesAnywhere) {
  CommandLine command;
  std::string error;
  ASSERT_TRUE(Parse({"compress", "in.png", "--stages=0A", "--lzmax", "-1", "--ref", "r.png", "out.zk"}, command,
                    error))
      << error;
  EXPECT_EQ(command.compress.stageFlags, 0x0A);
  EXPECT_EQ(command.compress.lzMaxSearch, -1);
  EXPECT_EQ(command.compress.referencePath, "r.png");
  EXPECT_EQ(command.compress.outputPath, "out.zk");
}

TEST(CompressCommandLine, DoubleDashEndsOptions) {
  CommandLine command;
  std::string error;
  ASSERT_TRUE(Parse({"compress", "--", "--odd.png", "out"}, command, error)) << error;
  EXPECT_EQ(command.compress.inputPath, "--odd.png");
}

TEST(CompressCommandLine, Rejections) {
  CommandLine command;
  std::string error;
  EXPECT_FALSE(Parse({"compress", "in.png"}, command, error));
  EXPECT_FALSE(Parse({"compress", "in.png", "out", "extra"}, command, error));
  EXPECT_FALSE(Parse({"compress", "--bands", "2", "in.png", "out"}, command, error));
  EXPECT_NE(error.find("--bands"), std::string::npos);
  EXPECT_FALSE(Parse({"compress", "in.png", "out", "--lzmax"}, command, error));
  EXPECT_FALSE(Parse({"compress", "--lzmax", "4294967296", "in.png", "out"}, command, error));
  EXPECT_FALSE(Parse({"compress", "--lzmax", "12x", "in.png", "out"}, command, error));
  EXPECT_FALSE(Parse({"squash", "in.png", "out"}, command, error));
  EXPECT_FALSE(Parse({}, command, error));
}

TEST(DecompressCommandLine, NeedsASizeOfAtLeastOneFrameWidth) {
  CommandLine command;
  std::string error;
  ASSERT_TRUE(Parse({"decompress", "--width", "1023", "--height", "2", "in.zk", "out.png"}, command, error)) << error;
  EXPECT_EQ(command.kind, CommandKind::Decompress);
  EXPECT_EQ(command.decompress.width, 1023u);  // rounded when the region is made
  EXPECT_EQ(command.decompress.height, 2u);
  EXPECT_FALSE(Parse({"decompress", "--height", "2", "in.zk", "out.png"}, command, error));
  EXPECT_FALSE(Parse({"decompress", "--width", "3", "--height", "2", "in.zk", "out.png"}, command, error));
  EXPECT_FALSE(Parse({"decompress", "--width", "8", "--height", "0", "in.zk", "out.png"}, command, error));
  EXPECT_FALSE(Parse({"decompress", "--width", "-8", "--height", "2", "in.zk", "out.png"}, command, error));
  // 3 bytes per pixel must stay addressable with 32 bits.
  EXPECT_FALSE(Parse({"decompress", "--width", "65536", "--height", "65536", "in.zk", "out.png"}, command, error));
}

TEST(BenchCommandLine, CollectsEveryPathAndTheBandCount) {
  CommandLine command;
  std::string error;
  ASSERT_TRUE(Parse({"bench", "a.png", "--bands", "10", "seq/", "--json", "f.json", "--stages", "2"}, command, error))
      << error;
  EXPECT_EQ(command.kind, CommandKind::Bench);
  EXPECT_EQ(command.bench.paths, (std::vector<std::string>{"a.png", "seq/"}));
  EXPECT_EQ(command.bench.bands, 10u);
  EXPECT_EQ(command.bench.jsonPath, "f.json");
  EXPECT_EQ(command.bench.stageFlags, 0x02);
  EXPECT_FALSE(Parse({"bench", "--bands", "0", "a.png"}, command, error));
  EXPECT_FALSE(Parse({"bench"}, command, error));
}
