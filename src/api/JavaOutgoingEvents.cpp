#include "api/JavaOutgoingEvents.h"

#include <deque>
#include <mutex>
#include <new>

#include "api/JavaConsole.h"
#include "api/WindowEventDecoder.h"
#include "common/HostMemory.h"
#include "common/Trace.h"
#include "events/ProtocolMessages.h"

namespace {
constexpr char kUpdateApplication[] = "updateApplication";
constexpr char kUpdateApplicationSignature[] = "(ILjava/lang/String;I)V";
constexpr jsize kArrayHeaderSize = 2;  // taken flag, type

void FreePayload(const Event& event) {
  if (!HostFree(event.payload))
    PrintToJavaConsole("!!!!!!!!!!!!!!!!!!!!!! Cannot free the memory [Send] !!!!!!!!!!!!!!!!!\n");
}

// Events already taken from the engine that Java had no memory for. Each goes
// back to the front of the line, as if it had never been taken. One for the
// module; any Java thread, under its lock.
class HeldEvents {
 public:
  ~HeldEvents() {
    for (const Event& event : events_) HostFree(event.payload);
  }

  bool Take(Event* out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (events_.empty()) return false;
    *out = events_.front();
    events_.pop_front();
    return true;
  }

  void Hold(const Event& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    try {
      events_.push_front(event);
    } catch (const std::bad_alloc&) {
      Trace(TRACE_WARNING, "\r\ngetQueuedEvent: no memory to keep an event of %u bytes; lost",
            event.size);
      FreePayload(event);
    }
  }

 private:
  std::mutex mutex_;
  std::deque<Event> events_;
};

HeldEvents g_held;
WindowEventDecoder g_windowEvents;

// The next event from the engine that Java is to see: window-event records
// decoded, those the host has no code for dropped.
bool TakeFromEngine(JavaEngine& engine, Event* out) {
  while (engine.GetQueuedEvent(out)) {
    if (out->type != ZKP_WINDOWEVENT || g_windowEvents.Decode(out->payload, out->size)) return true;
    FreePayload(*out);
  }
  return false;
}

// Hands shared-window reports to the wrapper's updateApplication. Lives for
// one getQueuedEvent call, on its thread; the method is looked up at the
// call's first report.
class SharedWindowCallback {
 public:
  enum class Outcome {
    CONSUMED,  // delivered, or unreadable, or there was no method to call
    KEEP,      // Java had no memory for the title
    STOP,      // the callback threw: no further Java call
  };

  SharedWindowCallback(JNIEnv* env, jobject wrapper) : env_(env), wrapper_(wrapper) {}

  Outcome Deliver(const Event& event) {
    SharedWindowMessage report;
    if (!ParseMessage(event.payload, event.size, &report) || !Method()) return Outcome::CONSUMED;
    jstring title = env_->NewStringUTF(report.title);
    if (!title) return Outcome::KEEP;
    env_->CallVoidMethod(wrapper_, method_, static_cast<jint>(report.window), title,
                         static_cast<jint>(report.code));
    env_->DeleteLocalRef(title);
    return env_->ExceptionCheck() ? Outcome::STOP : Outcome::CONSUMED;
  }

 private:
  // Null when the wrapper has no such method: the reports are then consumed
  // without a call.
  jmethodID Method() {
    if (looked_up_) return method_;
    looked_up_ = true;
    jclass wrapperClass = env_->GetObjectClass(wrapper_);
    method_ = env_->GetMethodID(wrapperClass, kUpdateApplication, kUpdateApplicationSignature);
    if (!method_) env_->ExceptionClear();
    env_->DeleteLocalRef(wrapperClass);
    return method_;
  }

  JNIEnv* env_;
  jobject wrapper_;
  jmethodID method_ = nullptr;
  bool looked_up_ = false;
};

// Null, with a Java exception pending, when the array cannot be made. A
// payload too large for a Java array asks for a negative length, which Java
// refuses like any other array it cannot make.
jbyteArray ToJavaArray(JNIEnv* env, const Event& event) {
  const jsize length = event.size <= static_cast<uint32_t>(INT32_MAX - kArrayHeaderSize)
                           ? static_cast<jsize>(event.size) + kArrayHeaderSize
                           : -1;
  jbyteArray array = env->NewByteArray(length);
  if (!array) return nullptr;
  const jbyte header[kArrayHeaderSize] = {1, static_cast<jbyte>(event.type & 0xFF)};
  env->SetByteArrayRegion(array, 0, kArrayHeaderSize, header);
  if (event.size > 0)
    env->SetByteArrayRegion(array, kArrayHeaderSize, length - kArrayHeaderSize,
                            reinterpret_cast<const jbyte*>(event.payload));
  return array;
}
}  // namespace

jbyteArray TakeEventForJava(JNIEnv* env, jobject wrapper, JavaEngine& engine) {
  SharedWindowCallback callback(env, wrapper);
  Event event;
  while (g_held.Take(&event) || TakeFromEngine(engine, &event)) {
    if (event.type == ZKP_SHAREDWINDOW) {
      const SharedWindowCallback::Outcome outcome = callback.Deliver(event);
      if (outcome == SharedWindowCallback::Outcome::KEEP) {
        g_held.Hold(event);
        return nullptr;
      }
      FreePayload(event);
      if (outcome == SharedWindowCallback::Outcome::STOP) return nullptr;
      continue;
    }
    jbyteArray array = ToJavaArray(env, event);
    if (!array) {
      g_held.Hold(event);
      return nullptr;
    }
    FreePayload(event);
    return array;
  }
  return env->NewByteArray(kArrayHeaderSize);  // zero-filled: nothing taken
}
