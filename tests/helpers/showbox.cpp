// Shows one message box, `showbox TITLE TEXT [STYLE]`, for the tests of the box reader,
// and exits with the id of the button that closed it (-1 when no box could be shown).
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    UINT style = argc > 3 ? static_cast<UINT>(std::wcstoul(argv[3], nullptr, 0)) : MB_OK;
    int pressed = MessageBoxW(nullptr, argv[2], argv[1], style);
    return pressed == 0 ? -1 : pressed;
}
