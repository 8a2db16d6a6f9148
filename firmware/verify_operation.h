#pragma once

#include "firmware/operation_context.h"

namespace fwu::firmware {

// Reads back the flash that an update of Velnor.bin wrote and compares it with the image: one
// start report, then as many block reads as the dump makes for the bytes the update covers
// (its records of 40 bytes, the last one zero-padded, as far as the flash reaches). The device
// is assumed to answer the block reads from the address where the update starts writing, as a
// device of the family does. The first differing byte ends it with its offset and both bytes.
//
// The update closes the connection at its end; a verification right after it searches for the
// device again. The connection stays open afterwards, as the dump leaves it.
OperationResult runVerify(const OperationContext& context);

}  // namespace fwu::firmware
