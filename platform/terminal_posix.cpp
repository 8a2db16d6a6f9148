#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/terminal.h"

namespace fwu::platform {

bool standardErrorIsTerminal() {
    return isatty(fileno(stderr)) != 0;
}

std::size_t standardErrorRows() {
    winsize size{};
    if (ioctl(fileno(stderr), TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_row;
}

}  // namespace fwu::platform
