#include "cli/device_selection.h"

#include <algorithm>

#include "cli/device_list.h"
#include "cli/dump_names.h"
#include "cli/messages.h"
#include "firmware/messages.h"

namespace fwu::cli {

namespace {

bool contains(const std::vector<std::string>& values, const std::string& value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

std::string choiceText(const Options& options) {
    std::string text;
    for (const auto& path : options.devicePaths)
        text += (text.empty() ? "" : " ") + std::string("--device ") + path;
    for (const auto& serial : options.serialNumbers)
        text += (text.empty() ? "" : " ") + std::string("--serial ") + serial;
    return text;
}

}  // namespace

bool isChosen(const device::FoundDevice& device, const Options& options) {
    if (!options.devicesChosen())
        return true;
    return contains(options.devicePaths, device.path) ||
           (!device.serialNumber.empty() && contains(options.serialNumbers, device.serialNumber));
}

Selection selectDevices(platform::HidPlatform& platform, const Options& options) {
    const device::DeviceDirectory directory = device::findSupportedDevices(platform);
    Selection selection{directory.devices, {}, directory.permissionDenied};
    for (const auto& device : directory.devices) {
        if (device.opened && isChosen(device, options))
            selection.chosen.push_back(device);
    }
    return selection;
}

std::string arrivalKey(const device::FoundDevice& device) {
    return device.arrival.empty() ? "path " + device.path : "arrival " + device.arrival;
}

std::string nothingChosenMessage(const Selection& selection, const Options& options) {
    std::string message;
    const bool anyOpened = std::any_of(selection.present.begin(), selection.present.end(),
                                       [](const auto& device) { return device.opened; });
    if (selection.permissionDenied && !anyOpened)
        return firmware::messages::permissionDenied();  // a device is there, but closed
    if (options.devicesChosen() && anyOpened)
        message = "No supported device matches " + choiceText(options) + ". `" + ProgramName +
                  " list` shows the devices connected.";
    else
        message = NoDeviceMessage;
    if (selection.permissionDenied)
        message += "\n" + firmware::messages::permissionDenied();
    return message;
}

std::string severalDevicesMessage(const std::vector<device::FoundDevice>& devices) {
    std::string message = std::to_string(devices.size()) +
                          " supported devices are connected, and the command is for one:\n";
    for (const auto& device : devices)
        message += "  " + deviceLine(device) + "\n";
    message +=
        "Choose one with --device PATH or --serial SERIAL, or give --all to run the "
        "command on every one.";
    return message;
}

std::optional<std::string> followRefusal(const device::FoundDevice& device,
                                         const std::vector<device::FoundDevice>& present) {
    if (device.serialNumber.empty())
        return "Not upgraded: " + device.path +
               " has no serial number, so it could not be told from the other devices once it "
               "restarts in bootloader mode. Upgrade it with no other device connected.";
    for (const auto& other : present) {
        if (other.path != device.path && other.serialNumber == device.serialNumber)
            return "Not upgraded: " + device.path + " and " + other.path +
                   " have the same serial number, " + device.serialNumber +
                   ", so they could not be told apart once they restart in bootloader mode. "
                   "Upgrade each of them with no other device connected.";
    }
    return std::nullopt;
}

std::optional<std::string> refusalToRun(const Options& options, const device::FoundDevice& device,
                                        const std::vector<device::FoundDevice>& present) {
    if (present.size() <= 1)
        return std::nullopt;
    if (options.command == Command::Upgrade)
        return followRefusal(device, present);
    if (dumpsToFilesOfTheirOwn(options))
        return sharedDumpFileRefusal(device, present);
    return std::nullopt;
}

}  // namespace fwu::cli
