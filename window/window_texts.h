#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/hid_platform.h"
#include "window/message_box.h"

// Every text the window shows besides the form's captions, each defined once.
namespace fwu::window::texts {

inline constexpr std::string_view WindowTitle = "Firmware Update";
// Command4's caption while the upgrade runs.
inline constexpr std::string_view UpgradeBusyCaption = "Please wait...";

// What the identity area says in place of the four values when the window has no device to
// update: none connected (`arrivalsNoticed` false where the system does not tell the program of
// devices that arrive), one it may not open, one another program holds (which lets go of it
// unnoticed: plugged in again, it arrives anew), one in bootloader mode, or one it has updated.
std::string_view noDevice(bool arrivalsNoticed);
inline constexpr std::string_view NoDevice =
    "No device found. Connect the device to this computer.";
inline constexpr std::string_view NoDeviceUnnoticed =
    "No device found. Connect the device to this computer, then start Firmware Update again.";
inline constexpr std::string_view DeviceNotPermitted =
    "A device was found but cannot be opened: permission denied.";
inline constexpr std::string_view DeviceInUse =
    "The device is in use by another program. Close that program, then unplug the device and "
    "plug it in again.";
inline constexpr std::string_view DeviceInBootloaderMode =
    "The device is in bootloader mode. Update Firmware writes only a device that runs its "
    "application firmware: load the bootloader-mode image into it (firmware-update-cli load).";
inline constexpr std::string_view DeviceUpdateEnded =
    "The update of this device has ended. To update a device, connect it, or unplug this one and "
    "plug it in again.";

// Velnor.bin is missing at start-up; the program ends after it.
MessageBoxRequest imageMissing();
// An operation reported a failure.
MessageBoxRequest operationError(std::string message);
// The window is being closed while firmware is written to the device. No is the default.
MessageBoxRequest closeWhileWriting();
// The search passed over a supported device it was not allowed to open.
MessageBoxRequest permissionDenied();
// The search passed over the device because another program holds it.
MessageBoxRequest deviceInUse(const std::string& devicePath, const platform::DeviceHolder& holder);
// The program cannot start as its command line asks.
MessageBoxRequest startFailed(std::string message);

std::string simulationNotSetUp(const std::string& problem);
std::string traceNotWritable(const std::filesystem::path& traceFile,
                             const platform::PlaceProblem& problem);

// The command line's help.
inline constexpr std::string_view ProgramDescription =
    "Updates the firmware of a connected device.";
std::string simulateOptionHelp();
std::string folderOptionHelp();
std::string folderNotFound(const std::filesystem::path& folder);
inline constexpr std::string_view TraceOptionHelp =
    "Write every report to and from the device to <file>, one line each.";
inline constexpr std::string_view HelpOptionHelp = "Show the options and exit.";
inline constexpr std::string_view VersionOptionHelp = "Show the version and exit.";
// The command line asks for what the window does not know; the options' help follows.
std::string commandLineRefused(const std::string& problem);

}  // namespace fwu::window::texts
