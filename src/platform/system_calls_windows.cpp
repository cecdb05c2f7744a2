#include "platform/system_calls_windows.h"

namespace tesmo {

SystemCalls systemCalls = {GetTempPathW,     GetTempPathA,     GetTempFileNameW,
                           GetTempFileNameA, CreateDirectoryA, Sleep,
                           WriteFile,        GetConsoleTitleA, SetConsoleTitleA};

}  // namespace tesmo
