#include "session/ConfigFile.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
class ConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FILE* f = std::fopen("ConfigFileTest.ini", "w");
    std::fputs("[ZK]\nSeven=7\nMinus=-1\nZero=0\nBig=65536\n", f);
    std::fclose(f);
    config.SetFileName(".\\ConfigFileTest.ini");
  }
  void TearDown() override { DeleteFileA("ConfigFileTest.ini"); }
  ConfigFile config;
};
}  // namespace

TEST_F(ConfigFileTest, ReadsIntegersAndFallsBackToDefaults) {
  EXPECT_EQ(config.GetInt("ZK", "Seven", 3), 7);
  EXPECT_EQ(config.GetInt("ZK", "Missing", 3), 3);
  EXPECT_EQ(config.GetInt("Nowhere", "Seven", 42), 42);
  EXPECT_EQ(config.GetInt("ZK", "Big", 0), 65536);
}

TEST_F(ConfigFileTest, AnyNonZeroIntegerIsTrue) {
  EXPECT_TRUE(config.GetBool("ZK", "Seven", false));
  EXPECT_TRUE(config.GetBool("ZK", "Minus", false));
  EXPECT_FALSE(config.GetBool("ZK", "Zero", true));
  EXPECT_TRUE(config.GetBool("ZK", "Missing", true));
  EXPECT_FALSE(config.GetBool("ZK", "Missing", false));
}

TEST(ConfigFile, KeepsAtMost256CharactersOfTheName) {
  ConfigFile config;
  std::string longName(300, 'a');
  config.SetFileName(longName.c_str());
  EXPECT_EQ(std::string(config.GetFileName()), std::string(256, 'a'));
}
