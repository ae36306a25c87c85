#ifndef ZK_JNI_MD_H
#define ZK_JNI_MD_H

/* The machine-dependent part of jni.h for 32-bit Windows, which Debian's JDK
 * does not ship: the cross build compiles the JDK's own jni.h with this file
 * in place of its Linux one. A 32-bit Windows JVM calls natives with the
 * standard-call convention and looks them up by their decorated names,
 * "_Java_<class>_<method>@<argument bytes>". */

/* ZK.dll defines JNIEXPORT empty and names its natives in ZK.def: mingw's
 * linker exports a dllexport function as "Java_..._init@8", without the
 * leading underscore, which would leave a second name beside the one the JVM
 * looks for. */
#ifndef JNIEXPORT
#define JNIEXPORT __declspec(dllexport)
#endif
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef int jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
