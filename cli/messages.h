#pragma once

namespace fwu::cli {

inline constexpr const char* NoDeviceMessage =
    "No supported device found. Connect the device and try again.";

}  // namespace fwu::cli
