#pragma once

#include <string>
#include <vector>

// The text of zkhost's command channel: a command line is words separated by
// blanks, where double quotes keep blanks inside one word ("Untitled -
// Notepad") and a backslash takes the next quote or backslash literally. A
// reply is one line: "ok", "ok <detail>" or "error: <why>". Portable; no
// state.

std::vector<std::string> SplitCommandWords(const std::string& line);
// The inverse of SplitCommandWords: words that need it are quoted.
std::string JoinCommandWords(const std::vector<std::string>& words);

std::string OkReply(const std::string& detail = "");
std::string ErrorReply(const std::string& why);
bool IsOkReply(const std::string& reply);
