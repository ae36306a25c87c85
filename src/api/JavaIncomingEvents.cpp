#include "api/JavaIncomingEvents.h"

#include "api/JavaConsole.h"
#include "common/HostMemory.h"
#include "common/Trace.h"
#include "events/ProtocolMessages.h"

namespace {
// Pointer updates arrive many times a second: naming each would drown the rest.
void TracePostedType(uint32_t type) {
  if (type == ZKP_MOUSEUPDATE) return;
  char name[kProtocolTypeNameCapacity];
  FormatProtocolTypeName(type, name);
  Trace(TRACE_LIFECYCLE, "\r\nPostEvent from Java: %s", name);
}
}  // namespace

bool PostEventFromJava(JNIEnv* env, jbyteArray array, JavaEngine& engine) {
  if (!array) return false;
  const jsize length = env->GetArrayLength(array);
  if (length < 1) return false;

  jbyte type = 0;
  env->GetByteArrayRegion(array, 0, 1, &type);
  const uint32_t size = static_cast<uint32_t>(length - 1);
  uint8_t* payload = HostAlloc(size);
  if (size > 0 && !payload) {
    Trace(TRACE_WARNING, "\r\nPostEvent from Java: no memory for %u payload bytes", size);
    return false;
  }
  if (size > 0) env->GetByteArrayRegion(array, 1, length - 1, reinterpret_cast<jbyte*>(payload));

  const Event event{static_cast<uint8_t>(type), size, payload};
  TracePostedType(event.type);
  const bool posted = engine.PostEvent(event);
  if (!HostFree(payload))
    PrintToJavaConsole("!!!!!!!!!!!!!!!!!!!!!! Cannot free the memory [Post] !!!!!!!!!!!!!!!!!\n");
  return posted;
}
