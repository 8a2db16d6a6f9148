#include "cli/dump_names.h"

#include <algorithm>
#include <string_view>

namespace fwu::cli {

namespace {

constexpr char PathMark = '+';
constexpr char EscapeMark = '_';

bool keptAsIs(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-';
}

std::string escaped(const std::string& text) {
    constexpr std::string_view Digits = "0123456789ABCDEF";
    std::string part;
    for (const char c : text) {
        if (keptAsIs(c)) {
            part += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        part += {EscapeMark, Digits[byte >> 4], Digits[byte & 0x0F]};
    }
    return part;
}

std::string namePart(const device::FoundDevice& device) {
    if (device.serialNumber.empty())
        return PathMark + escaped(device.path);
    return escaped(device.serialNumber);
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

}  // namespace

bool dumpsToFilesOfTheirOwn(const Options& options) {
    return options.command == Command::Dump && (options.all || options.repeat);
}

std::filesystem::path perDeviceDumpFile(const std::filesystem::path& dumpFile,
                                        const device::FoundDevice& device) {
    std::filesystem::path fileName = dumpFile.stem();
    fileName += "-" + namePart(device);
    fileName += dumpFile.extension();
    return dumpFile.parent_path() / fileName;
}

std::optional<std::string> sharedDumpFileRefusal(const device::FoundDevice& device,
                                                 const std::vector<device::FoundDevice>& present) {
    if (device.serialNumber.empty())
        return std::nullopt;  // named by its path, which no other device present has
    const std::string serial = lowerCase(device.serialNumber);
    for (const auto& other : present) {
        if (other.path == device.path || lowerCase(other.serialNumber) != serial)
            continue;
        const bool same = other.serialNumber == device.serialNumber;
        return "Not dumped: " + device.path + " and " + other.path + " have " +
               (same ? "the same serial number, " + device.serialNumber
                     : "the serial numbers " + device.serialNumber + " and " + other.serialNumber) +
               ", and each one's dump file is named after its serial number, so one dump would "
               "replace the other" +
               (same ? "" : " where the file system does not tell upper from lower case") +
               ". Dump each of them with no other device of that serial number connected.";
    }
    return std::nullopt;
}

}  // namespace fwu::cli
