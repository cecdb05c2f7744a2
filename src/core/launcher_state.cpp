#include "core/launcher_state.h"

namespace tesmo {

bool quietMode = false;
bool languageRestart = false;
void* launcherInstance = nullptr;
bool logRequested = false;
char flavourLetter = '\0';
std::string productName = "korvane";
std::string userLanguage;
std::string userCountry;
std::int64_t blockEndPosition = 0;
WideString launcherTempDirectory;
std::int64_t unextractedPosition = 0;
std::optional<std::string> instanceSemaphoreName;
WideString jvmHome;
std::atomic<bool> vmCreated{false};

}  // namespace tesmo
