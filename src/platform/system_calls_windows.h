// Windows calls whose failures the launcher must survive but a test machine never
// produces on its own, and the waits whose length tests must not sit through. Tests
// replace an entry to make the call fail, or the wait pass, on demand; the launcher
// itself never changes the table.
#pragma once

#include <windows.h>

namespace tesmo {

struct SystemCalls {
    DWORD(WINAPI* getTempPathW)(DWORD, LPWSTR);
    DWORD(WINAPI* getTempPathA)(DWORD, LPSTR);
    UINT(WINAPI* getTempFileNameW)(LPCWSTR, LPCWSTR, UINT, LPWSTR);
    UINT(WINAPI* getTempFileNameA)(LPCSTR, LPCSTR, UINT, LPSTR);
    BOOL(WINAPI* createDirectoryA)(LPCSTR, LPSECURITY_ATTRIBUTES);
    VOID(WINAPI* sleep)(DWORD);
    BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    DWORD(WINAPI* getConsoleTitleA)(LPSTR, DWORD);
    BOOL(WINAPI* setConsoleTitleA)(LPCSTR);
};

extern SystemCalls systemCalls;

}  // namespace tesmo
