#include "cli/console.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace fwu::cli {

bool standardErrorIsTerminal() {
#ifdef _WIN32
    if (_isatty(_fileno(stderr)) == 0)
        return false;
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(console, &mode) != 0 &&
           SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

std::size_t standardErrorRows() {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO screen{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &screen) == 0)
        return 0;
    return static_cast<std::size_t>(screen.srWindow.Bottom - screen.srWindow.Top + 1);
#else
    winsize size{};
    if (ioctl(fileno(stderr), TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_row;
#endif
}

}  // namespace fwu::cli
