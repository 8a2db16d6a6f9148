#pragma once

#include "firmware/operation_context.h"

namespace fwu::firmware {

// The device's flash into Ombrel.bin: one start report, then one block read per block. The
// earlier Ombrel.bin is replaced only by a complete dump; a dump that stops leaves it as it was
// and the blocks read in Ombrel.bin.part. The connection stays open.
OperationResult runDump(const OperationContext& context);

}  // namespace fwu::firmware
