#pragma once

#include "firmware/operation_context.h"

namespace fwu::firmware {

// One erase report without a record count.
OperationResult runEraseChip(const OperationContext& context);
// One enter-bootloader report. The device is not waited for: the connection, the labels and
// the buttons stay as they are.
OperationResult runEnterBootloader(const OperationContext& context);

}  // namespace fwu::firmware
