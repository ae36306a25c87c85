// The library of the JVM test: the Java natives of ZK.dll built natively, on
// a stand-in engine that queues what the test gives it and records every
// call, with natives of the test's RecordingEngine class to drive it.

#include <unistd.h>

#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "api/JavaEngine.h"
#include "com_morvane_zksharedlet_RecordingEngine.h"
#include "common/HostMemory.h"
#include "events/MessageBytes.h"

namespace {
// A message as its builder writes it, in a Java array.
template <typename Message>
jbyteArray JavaBytesOf(JNIEnv* env, const Message& message) {
  const std::vector<uint8_t> bytes = BytesOf(message);
  const jsize length = static_cast<jsize>(bytes.size());
  jbyteArray array = env->NewByteArray(length);
  if (array)
    env->SetByteArrayRegion(array, 0, length, reinterpret_cast<const jbyte*>(bytes.data()));
  return array;
}

std::string Hex(const uint8_t* bytes, uint32_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint32_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

class RecordingEngine final : public JavaEngine {
 public:
  bool Init() override { return Record("Init"); }
  bool Release() override { return Record("Release"); }
  bool EnableCapture(bool enable, uint32_t token) override {
    return Record("EnableCapture " + Flag(enable) + " " + std::to_string(token));
  }
  bool PauseCapture(bool pause) override { return Record("PauseCapture " + Flag(pause)); }
  bool EnableInputControl(bool enable, uint32_t token) override {
    return Record("EnableInputControl " + Flag(enable) + " " + std::to_string(token));
  }
  bool EnableAnnotation(bool enable) override { return Record("EnableAnnotation " + Flag(enable)); }
  bool SetPosition(uint32_t x, uint32_t y, uint32_t width, uint32_t height, bool show) override {
    return Record("SetPosition " + std::to_string(x) + " " + std::to_string(y) + " " +
                  std::to_string(width) + " " + std::to_string(height) + " " + Flag(show));
  }
  bool WaitForEvents(uint32_t timeoutMs) override {
    Record("WaitForEvents " + std::to_string(timeoutMs));
    std::lock_guard<std::mutex> lock(mutex_);
    return !outgoing_.empty();
  }
  bool GetQueuedEvent(Event* out) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (outgoing_.empty()) return false;
    *out = outgoing_.front();
    outgoing_.pop_front();
    return true;
  }
  bool PostEvent(const Event& event) override {
    return Record("PostEvent " + std::to_string(event.type) + " " + Hex(event.payload, event.size));
  }
  bool RequestFullUpdate(uint32_t requestId) override {
    return Record("RequestFullUpdate " + std::to_string(requestId));
  }
  bool ClickToShare(uint32_t window, uint32_t reason) override {
    return Record("ClickToShare " + std::to_string(window) + " " + std::to_string(reason));
  }
  bool AddHighlight() override { return Record("AddHighlight"); }
  bool AddMarker(uint32_t colour) override { return Record("AddMarker " + std::to_string(colour)); }
  bool ClearAnnotation() override { return Record("ClearAnnotation"); }

  // An event as the library would queue it: the payload in a host block.
  void Queue(uint32_t type, const uint8_t* payload, uint32_t size) {
    uint8_t* block = HostAlloc(size);
    if (size > 0) std::copy(payload, payload + size, block);
    std::lock_guard<std::mutex> lock(mutex_);
    outgoing_.push_back(Event{type, size, block});
  }

  size_t QueuedCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return outgoing_.size();
  }

  // The calls recorded since the last take, one a line.
  std::string TakeCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string calls;
    calls.swap(calls_);
    return calls;
  }

  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Event& event : outgoing_) HostFree(event.payload);
    outgoing_.clear();
    calls_.clear();
  }

 private:
  static std::string Flag(bool value) { return value ? "1" : "0"; }

  bool Record(const std::string& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_ += call + "\n";
    return true;
  }

  std::mutex mutex_;
  std::deque<Event> outgoing_;
  std::string calls_;
};

RecordingEngine g_engine;

// What the natives print to standard output while a capture runs goes to a
// temporary file instead.
struct StdoutCapture {
  int saved = -1;
  std::FILE* file = nullptr;
} g_capture;

std::string ReadAll(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
  return text;
}
}  // namespace

JavaEngine& TheJavaEngine() { return g_engine; }

JNIEXPORT void JNICALL Java_com_morvane_zksharedlet_RecordingEngine_queue(JNIEnv* env, jclass,
                                                                          jint type,
                                                                          jbyteArray payload) {
  const jsize size = env->GetArrayLength(payload);
  jbyte* bytes = env->GetByteArrayElements(payload, nullptr);
  g_engine.Queue(static_cast<uint32_t>(type), reinterpret_cast<const uint8_t*>(bytes),
                 static_cast<uint32_t>(size));
  env->ReleaseByteArrayElements(payload, bytes, JNI_ABORT);
}

JNIEXPORT jint JNICALL Java_com_morvane_zksharedlet_RecordingEngine_queuedCount(JNIEnv*, jclass) {
  return static_cast<jint>(g_engine.QueuedCount());
}

JNIEXPORT jstring JNICALL Java_com_morvane_zksharedlet_RecordingEngine_takeCalls(JNIEnv* env,
                                                                                 jclass) {
  return env->NewStringUTF(g_engine.TakeCalls().c_str());
}

JNIEXPORT void JNICALL Java_com_morvane_zksharedlet_RecordingEngine_reset(JNIEnv*, jclass) {
  g_engine.Reset();
}

JNIEXPORT void JNICALL Java_com_morvane_zksharedlet_RecordingEngine_captureStdout(JNIEnv*, jclass) {
  std::fflush(stdout);
  g_capture.file = std::tmpfile();
  g_capture.saved = dup(STDOUT_FILENO);
  dup2(fileno(g_capture.file), STDOUT_FILENO);
}

JNIEXPORT jstring JNICALL Java_com_morvane_zksharedlet_RecordingEngine_takeStdout(JNIEnv* env,
                                                                                  jclass) {
  std::fflush(stdout);
  dup2(g_capture.saved, STDOUT_FILENO);
  close(g_capture.saved);
  const std::string text = ReadAll(g_capture.file);
  std::fclose(g_capture.file);
  g_capture = StdoutCapture{};
  return env->NewStringUTF(text.c_str());
}

JNIEXPORT jbyteArray JNICALL Java_com_morvane_zksharedlet_RecordingEngine_sharedWindow(
    JNIEnv* env, jclass, jint code, jint window, jstring title) {
  SharedWindowMessage message{static_cast<uint16_t>(code), static_cast<uint32_t>(window), {}};
  const char* text = env->GetStringUTFChars(title, nullptr);
  if (!text) return nullptr;
  std::snprintf(message.title, sizeof message.title, "%s", text);
  env->ReleaseStringUTFChars(title, text);
  return JavaBytesOf(env, message);
}

JNIEXPORT jbyteArray JNICALL Java_com_morvane_zksharedlet_RecordingEngine_windowEvent(
    JNIEnv* env, jclass, jint message, jint wParam, jint lParam, jint x, jint y) {
  return JavaBytesOf(
      env, WindowEventMessage{static_cast<uint32_t>(message), static_cast<uint32_t>(wParam),
                              static_cast<uint32_t>(lParam), x, y});
}
