#pragma once

#include <jni.h>

#include "api/JavaEngine.h"

// getQueuedEvent of the Java host: the next outgoing event as a byte array of
// the taken flag (1), the type's low byte and the payload; the two bytes 0, 0
// when the queue is empty.
//
// On the way, window-event records are decoded for the host (see
// WindowEventDecoder.h) and shared-window reports become calls of the
// wrapper's updateApplication(window, title, code); neither reaches the host
// as an array.
//
// Returns null, with a Java exception pending, when Java runs out of memory
// for the array or a report's title (the event then stays first in line, so
// nothing is lost) and when updateApplication throws (its report is consumed,
// the events behind it stay queued, and no further Java call is made).
//
// Any Java thread; the environment is the calling thread's. Every local
// reference made for a report is deleted before the next, so a long run of
// reports fits in the frame the JVM gives a native call.
jbyteArray TakeEventForJava(JNIEnv* env, jobject wrapper, JavaEngine& engine);
