// The application's splash controller, com.tesmo.runtime.TesmoController, polled by the
// splash thread at each tick once the VM exists. Everything here runs on the splash thread,
// the only thread that uses its JNI environment.
#include <jni.h>

#include "splash/splash.h"
#include "splash/splash_bridges.h"
#include "vm/java_vm_launcher_windows.h"

namespace tesmo {

namespace {

constexpr char kControllerClass[] = "com/tesmo/runtime/TesmoController";
constexpr jint kActionClose = 1;
constexpr jint kActionNewText = 2;

JNIEnv* env = nullptr;
jclass controller = nullptr;
jmethodID getAction = nullptr;
jmethodID getText = nullptr;

// A failed lookup or a throwing controller leaves an exception pending on this thread, and
// JNI allows no further calls but the exception functions until it is cleared.
bool threw() {
    if (!env->ExceptionCheck()) return false;
    env->ExceptionClear();
    return true;
}

// Once an environment is there the binding is not tried again: without the class or its
// methods the poll stays inactive.
void bindSplashController() {
    env = attachToVm();
    if (!env) return;
    jclass found = env->FindClass(kControllerClass);
    if (threw() || !found) return;
    getAction = env->GetStaticMethodID(found, "getAction", "()I");
    if (threw()) getAction = nullptr;
    getText = env->GetStaticMethodID(found, "getText", "()Ljava/lang/String;");
    if (threw()) getText = nullptr;
    controller = found;
}

void applyNewText() {
    auto text = static_cast<jstring>(env->CallStaticObjectMethod(controller, getText));
    if (threw() || !text) return;
    jsize length = env->GetStringLength(text);
    const jchar* characters = env->GetStringChars(text, nullptr);
    if (characters) {
        WideString copy(reinterpret_cast<const char16_t*>(characters),
                        static_cast<std::size_t>(length));
        env->ReleaseStringChars(text, characters);
        setSplashStatusText(copy);
    }
    // The thread stays attached for the splash's whole life, so its local references are
    // never freed by a return to Java: one per text would pile up.
    env->DeleteLocalRef(text);
}

}  // namespace

ControllerRequest pollSplashController() {
    if (!env) bindSplashController();
    if (!controller || !getAction || !getText) return ControllerRequest::None;
    jint action = env->CallStaticIntMethod(controller, getAction);
    if (threw()) return ControllerRequest::None;
    if (action == kActionClose) return ControllerRequest::Close;
    if (action == kActionNewText) applyNewText();
    return ControllerRequest::None;
}

void releaseSplashController() {
    if (!env) return;
    detachFromVm();
    env = nullptr;
    controller = nullptr;
}

}  // namespace tesmo
