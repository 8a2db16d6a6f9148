#include "platform/linux/linux_platform.h"

namespace fwu::platform {

std::unique_ptr<HidPlatform> makeSystemPlatform() {
    return std::make_unique<linux_hid::LinuxPlatform>();
}

}  // namespace fwu::platform
