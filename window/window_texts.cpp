#include "window/window_texts.h"

#include <utility>

#include "firmware/messages.h"
#include "firmware/program_files.h"
#include "simulator/demo_setup.h"

namespace fwu::window::texts {

using simulator::SimulationVariable;

std::string_view noDevice(bool arrivalsNoticed) {
    return arrivalsNoticed ? NoDevice : NoDeviceUnnoticed;
}

MessageBoxRequest imageMissing() {
    return {MessageIcon::Critical, "File Error", "Cannot find Velnor.bin", MessageButtons::Ok,
            MessageAnswer::Ok};
}

MessageBoxRequest operationError(std::string message) {
    return {MessageIcon::Critical, std::string(WindowTitle), std::move(message), MessageButtons::Ok,
            MessageAnswer::Ok};
}

MessageBoxRequest closeWhileWriting() {
    return {MessageIcon::Warning, std::string(WindowTitle),
            "Firmware is being written to the device. Closing now can leave it unusable. Close "
            "anyway?",
            MessageButtons::YesNo, MessageAnswer::No};
}

MessageBoxRequest permissionDenied() {
    return {MessageIcon::Warning, std::string(WindowTitle), firmware::messages::permissionDenied(),
            MessageButtons::Ok, MessageAnswer::Ok};
}

MessageBoxRequest deviceInUse(const std::string& devicePath, const platform::DeviceHolder& holder) {
    return {MessageIcon::Warning, std::string(WindowTitle),
            "The device " + devicePath + " is in use by " + firmware::messages::holderText(holder) +
                ", which may be writing to it, so Firmware Update leaves it alone. Wait until "
                "that program has finished, or close it, then start Firmware Update again.",
            MessageButtons::Ok, MessageAnswer::Ok};
}

MessageBoxRequest startFailed(std::string message) {
    return operationError(std::move(message));
}

std::string simulationNotSetUp(const std::string& problem) {
    return "The simulated device cannot be set up: " + problem + "\n\n" + SimulationVariable +
           " accepts:\n" + simulator::demoSettingsHelp();
}

std::string traceNotWritable(const std::filesystem::path& traceFile,
                             const platform::PlaceProblem& problem) {
    const std::string text =
        "The trace file " + firmware::messages::displayPath(traceFile) + " cannot be written. ";
    if (!problem.refusedLink.empty())
        return text + firmware::messages::linkNotFollowed(problem.refusedLink);
    return text + "Choose a file in a folder you may write to.";
}

std::string simulateOptionHelp() {
    return std::string(
               "Work with a simulated device instead of the USB devices present. The "
               "environment variable ") +
           SimulationVariable + " adjusts it.";
}

std::string folderOptionHelp() {
    return std::string("Look for ") + firmware::UpdateImageName + " and " +
           firmware::DownloadImageName + " in <folder>, and write the flash dump " +
           firmware::DumpFileName + " there, instead of in the program's own folder.";
}

std::string commandLineRefused(const std::string& problem) {
    return "The program cannot start with this command line: " + problem + ".";
}

std::string folderNotFound(const std::filesystem::path& folder) {
    return "The folder " + firmware::messages::displayPath(folder) +
           " given with --folder does not exist or is not a folder. Give the folder that holds " +
           firmware::UpdateImageName + ".";
}

}  // namespace fwu::window::texts
