#pragma once

#include <jni.h>

#include "api/JavaEngine.h"

// PostEvent of the Java host: an event received from another participant, as
// a byte array of its type (byte 0) and payload (the rest), goes into the
// engine's incoming queue. The array is copied; the host keeps it.
//
// False, reading nothing, for a null or empty array: there is no type to read.
// Any Java thread; the environment is the calling thread's.
bool PostEventFromJava(JNIEnv* env, jbyteArray event, JavaEngine& engine);
