#include "api/WindowEventDecoder.h"

#include <algorithm>

#include "api/JavaConsole.h"
#include "events/SharingMessages.h"

namespace {
// The window messages a record may report, as the platform numbers them.
constexpr uint32_t kCreate = 0x0001;
constexpr uint32_t kDestroy = 0x0002;
constexpr uint32_t kMove = 0x0003;
constexpr uint32_t kSize = 0x0005;
constexpr uint32_t kActivate = 0x0006;
constexpr uint32_t kClose = 0x0010;
constexpr uint32_t kShowWindow = 0x0018;
constexpr uint32_t kActivateApp = 0x001C;

// wParam values of a size message and an activation.
constexpr uint32_t kSizeRestored = 0;
constexpr uint32_t kSizeMinimised = 1;
constexpr uint32_t kActivatedByClick = 2;
}  // namespace

struct WindowEventDecoder::Verdict {
  enum Fate { DROP, KEEP, REWRITE } fate;
  uint32_t code;
};

bool WindowEventDecoder::Decode(uint8_t* payload, uint32_t size) {
  uint8_t whole[kWindowEventSize] = {};
  const uint32_t own = std::min(size, kWindowEventSize);
  std::copy(payload, payload + own, whole);
  WindowEventMessage record{};
  ParseMessage(whole, kWindowEventSize, &record);

  const Verdict verdict = Judge(record.message, record.wParam, record.x, record.y);
  if (verdict.fate == Verdict::REWRITE) {
    record.message = verdict.code;
    WriteMessage(whole, record);
    std::copy(whole, whole + own, payload);
  }
  return verdict.fate != Verdict::DROP;
}

WindowEventDecoder::Verdict WindowEventDecoder::Judge(uint32_t message, uint32_t wParam, int32_t x,
                                                      int32_t y) {
  switch (message) {
    case kCreate:
      PrintToJavaConsole("<Native> zk wnd opened\n");
      return {Verdict::REWRITE, OPENED};
    case kDestroy:
      PrintToJavaConsole("<Native> zk wnd closed\n");
      return {Verdict::REWRITE, CLOSED};
    case kMove:
      PrintToJavaConsole("<Native> zk wnd moved to [%d,%d]\n", x, y);
      return {Verdict::REWRITE, MOVED};
    case kSize:
      return JudgeSize(wParam);
    case kActivate:
      if ((wParam & 0xFFFF) == kActivatedByClick) return {Verdict::REWRITE, ACTIVATED_BY_CLICK};
      return {Verdict::KEEP, 0};
    case kClose:
      PrintToJavaConsole("<Native> zk wnd closing\n");
      return {Verdict::REWRITE, CLOSING};
    case kShowWindow:
      PrintToJavaConsole(wParam ? "<Native> zk wnd shown\n" : "<Native> zk wnd hidden\n");
      return {Verdict::REWRITE, wParam ? SHOWN : HIDDEN};
    case kActivateApp:
      return {Verdict::KEEP, 0};
    default:
      PrintToJavaConsole("<Native> Unknown Window Message got [%d]\n", static_cast<int>(message));
      return {Verdict::DROP, 0};
  }
}

WindowEventDecoder::Verdict WindowEventDecoder::JudgeSize(uint32_t sizeType) {
  if (sizeType == kSizeMinimised) {
    minimised_.store(true);
    PrintToJavaConsole("<Native> zk wnd minimized\n");
    return {Verdict::REWRITE, MINIMISED};
  }
  if (sizeType != kSizeRestored) return {Verdict::KEEP, 0};
  if (minimised_.exchange(false)) {
    PrintToJavaConsole("<Native> zk wnd restored \n");
    return {Verdict::REWRITE, RESTORED};
  }
  PrintToJavaConsole("<Native> zk wnd resized \n");
  return {Verdict::REWRITE, RESIZED};
}
