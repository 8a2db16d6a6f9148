#pragma once

#include <optional>

#include "cli/device_selection.h"
#include "cli/exit_status.h"
#include "cli/session.h"

namespace fwu::cli {

// Runs a device command (every command but `list`) as the options say: once on the chosen
// device or, with --all, on every one; after waiting for one to arrive with --wait; or over and
// over with --repeat, the station loop.
ExitStatus runOnDevices(const Session& session);

// The devices present once a chosen one is there: at once, or with --wait after waiting for
// one to arrive. Nothing, with `status` set and the reason shown, when the wait ended without.
std::optional<Selection> selectionToRunOn(const Session& session, ExitStatus& status);

}  // namespace fwu::cli
