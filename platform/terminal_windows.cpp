#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/terminal.h"

namespace fwu::platform {

bool standardErrorIsTerminal() {
    if (_isatty(_fileno(stderr)) == 0)
        return false;
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(console, &mode) != 0 &&
           SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::size_t standardErrorRows() {
    CONSOLE_SCREEN_BUFFER_INFO screen{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &screen) == 0)
        return 0;
    return static_cast<std::size_t>(screen.srWindow.Bottom - screen.srWindow.Top + 1);
}

}  // namespace fwu::platform
