// The native methods of com.morvane.zksharedlet.ZKWrapper. Their prototypes
// come from the header that `javac -h` generates from ZKWrapper.java, so the
// compiler holds them to the Java declarations. Arguments the Java side
// declares but the library does not use are left unnamed.

#include "com_morvane_zksharedlet_ZKWrapper.h"

#include "api/JavaEngine.h"
#include "api/JavaIncomingEvents.h"
#include "api/JavaOutgoingEvents.h"

namespace {
jboolean ToJava(bool value) { return value ? JNI_TRUE : JNI_FALSE; }

// A Java int carries a u32 of the library bit for bit.
uint32_t Unsigned(jint value) { return static_cast<uint32_t>(value); }

// The marker colour of the Java host's markers (red, as 0x00BBGGRR).
constexpr uint32_t kJavaMarkerColour = 255;
}  // namespace

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_init(JNIEnv*, jobject) {
  return ToJava(TheJavaEngine().Init());
}

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_release(JNIEnv*, jobject) {
  TheJavaEngine().Release();
  return JNI_TRUE;
}

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_listen(JNIEnv*, jobject,
                                                                         jint captureToken, jint) {
  return ToJava(TheJavaEngine().EnableCapture(true, Unsigned(captureToken)));
}

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_connect(JNIEnv*, jobject,
                                                                          jint captureToken, jint) {
  return ToJava(TheJavaEngine().EnableCapture(false, Unsigned(captureToken)));
}

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_setRole(JNIEnv*, jobject, jint) {
  return JNI_TRUE;
}

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_SetPosition(
    JNIEnv*, jobject, jint x, jint y, jint width, jint height, jboolean show) {
  TheJavaEngine().SetPosition(Unsigned(x), Unsigned(y), Unsigned(width), Unsigned(height),
                              show != JNI_FALSE);
  return JNI_TRUE;
}

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_waitForEvents(JNIEnv*, jobject,
                                                                                jint timeoutMs) {
  return ToJava(TheJavaEngine().WaitForEvents(Unsigned(timeoutMs)));
}

JNIEXPORT jbyteArray JNICALL
Java_com_morvane_zksharedlet_ZKWrapper_getQueuedEvent(JNIEnv* env, jobject wrapper) {
  return TakeEventForJava(env, wrapper, TheJavaEngine());
}

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_PostEvent(JNIEnv* env, jobject,
                                                                            jbyteArray event) {
  return ToJava(PostEventFromJava(env, event, TheJavaEngine()));
}

JNIEXPORT jboolean JNICALL
Java_com_morvane_zksharedlet_ZKWrapper_RequestFullUpdate(JNIEnv*, jobject, jint requestId) {
  return ToJava(TheJavaEngine().RequestFullUpdate(Unsigned(requestId)));
}

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_EnableInputControl(
    JNIEnv*, jobject, jboolean enable, jint inputToken, jint) {
  return ToJava(TheJavaEngine().EnableInputControl(enable != JNI_FALSE, Unsigned(inputToken)));
}

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_ClickToShare(JNIEnv*, jobject,
                                                                               jint window,
                                                                               jint reason) {
  return ToJava(TheJavaEngine().ClickToShare(Unsigned(window), Unsigned(reason)));
}

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_pauseCapture(JNIEnv*, jobject,
                                                                               jboolean pause) {
  return ToJava(TheJavaEngine().PauseCapture(pause != JNI_FALSE));
}

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_hilight(JNIEnv*, jobject) {
  return ToJava(TheJavaEngine().AddHighlight());
}

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_mark(JNIEnv*, jobject) {
  return ToJava(TheJavaEngine().AddMarker(kJavaMarkerColour));
}

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_clearAnnotations(JNIEnv*,
                                                                                   jobject) {
  return ToJava(TheJavaEngine().ClearAnnotation());
}

JNIEXPORT jboolean JNICALL
Java_com_morvane_zksharedlet_ZKWrapper_enableAnnotation(JNIEnv*, jobject, jboolean enable) {
  return ToJava(TheJavaEngine().EnableAnnotation(enable != JNI_FALSE));
}

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_setParent(JNIEnv*, jobject,
                                                                            jstring) {
  return JNI_TRUE;
}

JNIEXPORT jboolean JNICALL Java_com_morvane_zksharedlet_ZKWrapper_dummy(JNIEnv*, jobject) {
  return JNI_TRUE;
}
