// The baseline of the extraction benchmark: copies files with CopyFileW, the way Windows
// itself copies, and prints the microseconds the copies took, start-up excluded.
//   copytime SOURCE TARGET [SOURCE TARGET...]
// Exit code 0, 1 when a copy failed, 2 for a usage error.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3 || argc % 2 == 0) return 2;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!CopyFileW(argv[i], argv[i + 1], FALSE)) return 1;
    }
    QueryPerformanceCounter(&end);
    std::string line =
        std::to_string((end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart) + "\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()),
              &written, nullptr);
    return 0;
}
