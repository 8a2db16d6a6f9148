#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "device/device_directory.h"
#include "platform/hid_platform.h"

namespace fwu::cli {

// The supported devices present, and those of them the command line chose.
struct Selection {
    std::vector<device::FoundDevice> present;  // every supported device, in enumeration order
    std::vector<device::FoundDevice> chosen;   // those chosen (all without a choice) and opened
    bool permissionDenied = false;
};

Selection selectDevices(platform::HidPlatform& platform, const Options& options);

bool isChosen(const device::FoundDevice& device, const Options& options);

// What tells one arrival of a device from every other: what the system gives for it, or where it
// gives nothing, the path. Never the serial number, which two devices may share or lack.
std::string arrivalKey(const device::FoundDevice& device);

// Why nothing was chosen: no device, none that may be opened, or none that matches the choice.
std::string nothingChosenMessage(const Selection& selection, const Options& options);

// The refusal of a command meant for one device when several are chosen: the devices, and how
// to choose one.
std::string severalDevicesMessage(const std::vector<device::FoundDevice>& devices);

// Why the command must not run on `device` among the devices `present`: an upgrade of one
// device among several follows it through its restart by its serial number, which it must
// have and share with none of them; a dump into a file of its own is named after it, which no
// other may share. Nothing when it may run.
std::optional<std::string> refusalToRun(const Options& options, const device::FoundDevice& device,
                                        const std::vector<device::FoundDevice>& present);

// Why `device` cannot be followed through a restart by its serial number among the devices
// present (none, or shared with another); nothing when it can.
std::optional<std::string> followRefusal(const device::FoundDevice& device,
                                         const std::vector<device::FoundDevice>& present);

}  // namespace fwu::cli
