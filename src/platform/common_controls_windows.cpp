#include <windows.h>

#include "platform/common_controls.h"

namespace tesmo {

void initialiseCommonControls() {
    // Loaded by name so that the launcher does not import the library: an import would
    // load it, and the theming library with it, at every start. The library stays loaded.
    HMODULE library = LoadLibraryW(L"comctl32.dll");
    if (library == nullptr) return;
    using Initialise = void(WINAPI*)();
    auto initialise = reinterpret_cast<Initialise>(
        reinterpret_cast<void*>(GetProcAddress(library, "InitCommonControls")));
    if (initialise != nullptr) initialise();
}

}  // namespace tesmo
