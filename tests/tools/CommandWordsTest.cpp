#include "CommandWords.h"

#include <gtest/gtest.h>

TEST(CommandWords, QuotedWordsKeepTheirBlanksQuotesAndBackslashesBothWays) {
  const std::vector<std::string> words = {"share", "Untitled - Notepad", "say \"hi\"", "C:\\x", "",
                                          "7"};
  const std::string line = JoinCommandWords(words);
  EXPECT_EQ(line, "share \"Untitled - Notepad\" \"say \\\"hi\\\"\" \"C:\\\\x\" \"\" 7");
  EXPECT_EQ(SplitCommandWords(line), words);
  EXPECT_EQ(SplitCommandWords("  help\t share  \r\n"), (std::vector<std::string>{"help", "share"}));
  EXPECT_EQ(JoinCommandWords({"two\nlines"}), "\"two lines\"");
}

TEST(CommandWords, OnlyOkOrOkWithDetailIsSuccess) {
  EXPECT_TRUE(IsOkReply("ok"));
  EXPECT_TRUE(IsOkReply(OkReply("shared 0x1")));
  EXPECT_FALSE(IsOkReply("okay"));
  EXPECT_FALSE(IsOkReply(ErrorReply("ok")));
}
