#pragma once

#include "firmware/operation_context.h"

namespace fwu::firmware {

// Switches an application-mode device into its bootloader, waits for it to come back in
// bootloader mode, runs the bootloader-mode download and ends the program. The image is checked
// before the device is switched, and a refusal then leaves everything as it was.
OperationResult runUpgrade(const OperationContext& context);

}  // namespace fwu::firmware
