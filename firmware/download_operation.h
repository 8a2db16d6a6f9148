#pragma once

#include <cstdint>
#include <span>

#include "firmware/operation_context.h"

namespace fwu::firmware {

// Zembrix.bin into a device in its bootloader, then the program ends. A refusal (no usable
// image, a report too short for a record) sends nothing and leaves the program running.
OperationResult runDownload(const OperationContext& context);

// One bootloader record report per record of an image already read and checked, the bar
// advancing after each; a partial last record goes zero-padded. Stops at the first transfer
// that fails or at a cancel request.
OperationResult sendBootloaderImage(const OperationContext& context,
                                    std::span<const std::uint8_t> image);

// How the download and the upgrade end: the connection closed, the user told, the program
// unloaded.
void endProgram(const OperationContext& context, const OperationResult& result);

}  // namespace fwu::firmware
