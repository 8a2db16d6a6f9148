#pragma once

// The terminal on standard error, for the command line's progress displays.

#include <cstddef>

namespace fwu::platform {

// True when standard error is a terminal that a self-updating progress display can redraw:
// one that takes carriage returns and the control sequences that move the cursor up. On
// Windows the console is switched to take them; a console that cannot be is not counted.
bool standardErrorIsTerminal();

// The rows of the terminal on standard error; 0 when it is not a terminal or does not say.
std::size_t standardErrorRows();

}  // namespace fwu::platform
