// The Windows definitions the JDK's jni.h expects from its platform header. Only the JDK's
// portable jni.h is taken from the machine; this file replaces its Linux jni_md.h.
#ifndef TESMO_JNI_MD_H
#define TESMO_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
