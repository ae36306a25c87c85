#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "compression/DecodeFailureMessageBox.h"
#include "compression/RunLengthCodec.h"

namespace {

// What the message box showed; filled by a hook on this thread, which also
// closes the box as soon as it is activated.
struct ShownBox {
  std::string caption;
  std::vector<std::string> texts;
  int activations = 0;
};
ShownBox g_shown;
HHOOK g_hook;

BOOL CALLBACK CollectText(HWND child, LPARAM) {
  char text[256] = {};
  GetWindowTextA(child, text, sizeof text);
  g_shown.texts.push_back(text);
  return TRUE;
}

LRESULT CALLBACK CloseOnActivate(int code, WPARAM wParam, LPARAM lParam) {
  char className[64] = {};
  if (code == HCBT_ACTIVATE &&
      GetClassNameA(reinterpret_cast<HWND>(wParam), className, sizeof className) > 0 &&
      std::string(className) == "#32770") {
    const HWND box = reinterpret_cast<HWND>(wParam);
    char caption[256] = {};
    GetWindowTextA(box, caption, sizeof caption);
    g_shown.caption = caption;
    EnumChildWindows(box, CollectText, 0);
    ++g_shown.activations;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

std::vector<uint8_t> ReadFile(const char* path) {
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(path, "rb")) {
    for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
  }
  return bytes;
}

TEST(DecodeFailureMessageBox, DumpsTheInputAndTellsTheUser) {
  InstallMessageBoxDecodeFailureReporter();
  g_hook = SetWindowsHookExA(WH_CBT, CloseOnActivate, nullptr, GetCurrentThreadId());
  ASSERT_NE(g_hook, nullptr);
  std::remove("C:\\RLDecode332.bin");
  const std::vector<uint8_t> tokens = {0x05, 0x40, 0x00, 0xC0};  // skips past the region
  uint8_t region[6] = {};
  EXPECT_EQ(RLE332Decode(tokens.data(), static_cast<uint32_t>(tokens.size()), region, 6), 0u);
  UnhookWindowsHookEx(g_hook);

  EXPECT_EQ(g_shown.activations, 1);
  EXPECT_EQ(g_shown.caption, "Please email file C:\\RLDecode332.bin to zenkast-support@morvane.com");
  bool textShown = false;
  for (const std::string& t : g_shown.texts) textShown |= t == "Decompression Error!";
  EXPECT_TRUE(textShown);
  EXPECT_EQ(ReadFile("C:\\RLDecode332.bin"), tokens);
  std::remove("C:\\RLDecode332.bin");
}

}  // namespace
