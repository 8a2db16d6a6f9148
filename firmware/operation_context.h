#pragma once

#include "device/device_link.h"
#include "firmware/operation_host.h"
#include "firmware/operations.h"
#include "firmware/program_files.h"

namespace fwu::firmware {

// What every operation works with: the device, the front end, the program's files and the
// settings; and where it notes the SHA-256 of the image it read.
struct OperationContext {
    device::DeviceLink& link;
    OperationHost& host;
    const ProgramFiles& files;
    const OperationSettings& settings;
    std::optional<platform::Sha256Digest>& imageSha256;
};

}  // namespace fwu::firmware
