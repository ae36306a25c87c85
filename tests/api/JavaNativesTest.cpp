// The Java natives of the real ZK.dll, found by their decorated names and
// called as a 32-bit JVM calls them: standard-call, with a JNI environment
// (here the test's own function table, whose byte arrays are vectors the test
// keeps) and the wrapper object first.

#include <gtest/gtest.h>
#include <jni.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "HostSession.h"
#include "session/ProcessCensus.h"

namespace {
constexpr char kCollaborationTitle[] = "Morvane Collaboration";
constexpr UINT kEnableCapture = 0x1400;
constexpr jint kPresenterToken = 9;

// As much of a JVM's JNI environment as the natives need to hand out byte
// arrays. A callback finds its owner from the JNIEnv pointer it is given.
class TestJavaEnv : private JNIEnv {
 public:
  TestJavaEnv() {
    table_.NewByteArray = &NewByteArray;
    table_.SetByteArrayRegion = &SetByteArrayRegion;
    table_.ExceptionCheck = &ExceptionCheck;
    table_.DeleteLocalRef = &DeleteLocalRef;
    functions = &table_;
  }
  TestJavaEnv(const TestJavaEnv&) = delete;
  TestJavaEnv& operator=(const TestJavaEnv&) = delete;

  JNIEnv* env() { return this; }
  // Any non-null reference serves: the natives under test never look into it.
  jobject wrapper() { return reinterpret_cast<jobject>(&table_); }
  const std::vector<jbyte>& Array(jbyteArray array) const {
    return *reinterpret_cast<std::vector<jbyte>*>(array);
  }

 private:
  static TestJavaEnv& Owner(JNIEnv* env) { return *static_cast<TestJavaEnv*>(env); }

  static jbyteArray JNICALL NewByteArray(JNIEnv* env, jsize length) {
    auto& arrays = Owner(env).arrays_;
    arrays.push_back(std::make_unique<std::vector<jbyte>>(length));
    return reinterpret_cast<jbyteArray>(arrays.back().get());
  }
  static void JNICALL SetByteArrayRegion(JNIEnv*, jbyteArray array, jsize start, jsize length,
                                         const jbyte* bytes) {
    std::copy(bytes, bytes + length, reinterpret_cast<std::vector<jbyte>*>(array)->begin() + start);
  }
  static jboolean JNICALL ExceptionCheck(JNIEnv*) { return JNI_FALSE; }
  static void JNICALL DeleteLocalRef(JNIEnv*, jobject) {}

  JNINativeInterface_ table_ = {};
  std::vector<std::unique_ptr<std::vector<jbyte>>> arrays_;
};

// A native of ZK.dll by its decorated name, as a 32-bit JVM finds it.
template <typename Function>
Function Native(const char* name, int argumentBytes) {
  const std::string decorated = std::string("_Java_com_morvane_zksharedlet_ZKWrapper_") + name +
                                "@" + std::to_string(argumentBytes);
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(ZKModule(), decorated.c_str())));
}

using NoArguments = jboolean(JNICALL*)(JNIEnv*, jobject);
using RoleCall = jboolean(JNICALL*)(JNIEnv*, jobject, jint, jint);
using WaitCall = jboolean(JNICALL*)(JNIEnv*, jobject, jint);
using EventCall = jbyteArray(JNICALL*)(JNIEnv*, jobject);

HWND CreateTopLevelWindow(const char* title) {
  return CreateWindowExA(0, "STATIC", title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                         nullptr, nullptr);
}

// Wine's notepad, its window retitled: a window of another process with the
// title the natives look for.
class ForeignCollaborationWindow {
 public:
  ForeignCollaborationWindow() {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    char command[] = "notepad.exe";
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process_))
      return;
    PumpUntil([this] { return (window_ = FindWindowOf(process_.dwProcessId)) != nullptr; }, 10000);
    if (window_) SetWindowTextA(window_, kCollaborationTitle);
  }
  ~ForeignCollaborationWindow() {
    if (!process_.hProcess) return;
    TerminateProcess(process_.hProcess, 0);
    WaitForSingleObject(process_.hProcess, 10000);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  HWND window() const { return window_; }

 private:
  struct Search {
    DWORD processId;
    HWND found;
  };

  static HWND FindWindowOf(DWORD processId) {
    Search search = {processId, nullptr};
    EnumWindows(&OfferWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  static BOOL CALLBACK OfferWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
  }

  PROCESS_INFORMATION process_ = {};
  HWND window_ = nullptr;
};
}  // namespace

class JavaNatives : public HostSessionTest {
 protected:
  // The Java host's init, then the session window found and its worker hooked.
  ::testing::AssertionResult StartThroughJava() {
    auto init = Native<NoArguments>("init", 8);
    if (!init) return ::testing::AssertionFailure() << "no init@8";
    if (init(java_.env(), java_.wrapper()) != JNI_TRUE)
      return ::testing::AssertionFailure() << "init returned false";
    window_ = FindSessionWindow();
    if (!window_) return ::testing::AssertionFailure() << "no session window after init";
    if (!spy_.Attach(window_)) return ::testing::AssertionFailure() << "cannot hook the worker";
    return ::testing::AssertionSuccess();
  }

  TestJavaEnv java_;
};

TEST_F(JavaNatives, InitMakesThisProcesssCollaborationWindowTheOwner) {
  HWND own = CreateTopLevelWindow(kCollaborationTitle);
  HWND nearMisses[] = {CreateTopLevelWindow("Morvane Collaboration "),
                       CreateTopLevelWindow("morvane collaboration")};
  // Created last, the foreign window and the near misses come first in the
  // enumeration.
  ForeignCollaborationWindow foreign;
  ASSERT_NE(foreign.window(), nullptr) << "notepad did not start";
  for (HWND nearMiss : nearMisses)
    SetWindowPos(nearMiss, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

  ASSERT_TRUE(StartThroughJava());
  EXPECT_EQ(GetWindow(window_, GW_OWNER), own);

  Stop();
  for (HWND nearMiss : nearMisses) DestroyWindow(nearMiss);
  DestroyWindow(own);
}

TEST_F(JavaNatives, ListenAndConnectPostTheRolesWithTheirTokens) {
  ASSERT_TRUE(StartThroughJava());
  auto listen = Native<RoleCall>("listen", 16);
  auto connect = Native<RoleCall>("connect", 16);
  ASSERT_TRUE(listen && connect);
  // The viewer role every session starts in is posted by the worker itself.
  ASSERT_TRUE(spy_.Fence());
  spy_.Clear();
  EXPECT_EQ(listen(java_.env(), java_.wrapper(), kPresenterToken, 77), JNI_TRUE);
  EXPECT_EQ(connect(java_.env(), java_.wrapper(), -2, 77), JNI_TRUE);
  ASSERT_TRUE(spy_.Fence());

  std::vector<SessionSpy::Record> roles =
      spy_.Taken([](const SessionSpy::Record& r) { return r.message == kEnableCapture; });
  ASSERT_EQ(roles.size(), 2u);
  EXPECT_EQ(roles[0].wParam, 1u);
  EXPECT_EQ(static_cast<uint32_t>(roles[0].lParam), static_cast<uint32_t>(kPresenterToken));
  EXPECT_EQ(roles[1].wParam, 0u);
  EXPECT_EQ(static_cast<uint32_t>(roles[1].lParam), 0xFFFFFFFEu);
}

TEST_F(JavaNatives, GetQueuedEventHandsOverThePresentersDisplayUpdates) {
  ASSERT_TRUE(StartThroughJava());
  ASSERT_TRUE(ShowAt(100, 100, 320, 240));
  auto listen = Native<RoleCall>("listen", 16);
  auto waitForEvents = Native<WaitCall>("waitForEvents", 12);
  auto getQueuedEvent = Native<EventCall>("getQueuedEvent", 8);
  ASSERT_TRUE(listen && waitForEvents && getQueuedEvent);
  ASSERT_EQ(listen(java_.env(), java_.wrapper(), kPresenterToken, 0), JNI_TRUE);

  // The presenter's first picture of its area, as display updates that
  // carry its capture token.
  std::vector<jbyte> update;
  const DWORD start = GetTickCount();
  while (update.empty() && GetTickCount() - start < 10000) {
    waitForEvents(java_.env(), java_.wrapper(), 1000);
    for (;;) {
      const std::vector<jbyte>& event = java_.Array(getQueuedEvent(java_.env(), java_.wrapper()));
      ASSERT_GE(event.size(), 2u);
      if (event[0] == 0) break;
      if (static_cast<uint8_t>(event[1]) == ZKP_DISPLAYUPDATE) update = event;
    }
  }
  ASSERT_FALSE(update.empty()) << "no display update within 10 s";
  DisplayUpdateMessage message;
  ASSERT_TRUE(ParseBytes(Bytes(update.begin() + 2, update.end()), &message));
  EXPECT_EQ(message.token, static_cast<uint32_t>(kPresenterToken));
  EXPECT_GT(message.streamLength, 0u);
}
