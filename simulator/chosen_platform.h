#pragma once

#include <memory>
#include <string>

#include "platform/hid_platform.h"

namespace fwu::simulator {

// The devices a front end works with: the system's, or with `simulate` the simulated bus as
// FIRMWARE_UPDATE_SIMULATION sets it up. Nothing, with `problem` set to what is wrong with that
// variable's text, when it cannot be used.
std::unique_ptr<platform::HidPlatform> makeChosenPlatform(bool simulate, std::string& problem);

}  // namespace fwu::simulator
