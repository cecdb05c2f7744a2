#include "runtime/runtime_library.h"

namespace tesmo {

WideString jvmHome;

}  // namespace tesmo
