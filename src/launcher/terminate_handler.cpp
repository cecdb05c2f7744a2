// The default verbose terminate handler pulls in the demangler, a fifth of the launcher's
// size. The launcher never lets an exception escape on purpose, so a plain abort will do.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx
