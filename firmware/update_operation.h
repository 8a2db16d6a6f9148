#pragma once

#include "firmware/operation_context.h"

namespace fwu::firmware {

// Velnor.bin into the application firmware: start, erase with the record count, one
// write-record report per record read, finish. Ends with the update button disabled, the
// product and version labels empty and the connection closed, also when no device was found or
// a transfer failed.
OperationResult runUpdate(const OperationContext& context);

}  // namespace fwu::firmware
