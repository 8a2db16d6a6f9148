#pragma once

namespace fwu::cli {

// True when standard error is a terminal that a self-updating progress line can redraw.
bool standardErrorIsTerminal();

}  // namespace fwu::cli
