#include "platform/linux/sysfs_reader.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fwu::platform::linux_hid {
namespace {

namespace fs = std::filesystem;

// sysfs attributes hold at most a page; anything longer is not an attribute of ours.
constexpr std::size_t MaxAttributeBytes = 64 * 1024;
// hidraw node -> HID device -> USB interface -> USB device.
constexpr int MaxStepsToUsbDevice = 3;
constexpr std::string_view NodePrefix = "hidraw";

std::optional<std::string> readAttribute(const fs::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream)
        return std::nullopt;
    std::string text;
    text.resize(MaxAttributeBytes);
    stream.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (stream.bad())
        return std::nullopt;
    text.resize(static_cast<std::size_t>(stream.gcount()));
    return text;
}

// A sysfs text attribute without its trailing newline.
std::optional<std::string> readLine(const fs::path& file) {
    auto text = readAttribute(file);
    if (text && !text->empty() && text->back() == '\n')
        text->pop_back();
    return text;
}

bool isUsbDevice(const fs::path& directory) {
    std::error_code error;
    return fs::is_regular_file(directory / "idVendor", error) &&
           fs::is_regular_file(directory / "bcdDevice", error);
}

UsbParent readUsbParent(const fs::path& usbDevice) {
    UsbParent parent;
    parent.manufacturer = readLine(usbDevice / "manufacturer");
    parent.product = readLine(usbDevice / "product");
    parent.serialNumber = readLine(usbDevice / "serial");
    if (const auto release = readLine(usbDevice / "bcdDevice")) {
        parent.releaseNumber = parseHex16(*release);
    }
    return parent;
}

}  // namespace

std::optional<unsigned> hidrawNodeNumber(std::string_view nodeName) {
    if (!nodeName.starts_with(NodePrefix))
        return std::nullopt;
    const std::string_view digits = nodeName.substr(NodePrefix.size());
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    unsigned number = 0;
    const auto [stop, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || stop != digits.data() + digits.size())
        return std::nullopt;
    return number;
}

SysfsReader::SysfsReader(fs::path sysRoot) : sysRoot_(std::move(sysRoot)) {}

std::vector<std::string> SysfsReader::hidrawNodeNames() const {
    std::vector<std::pair<unsigned, std::string>> nodes;
    std::error_code error;
    for (fs::directory_iterator entry(sysRoot_ / "class" / "hidraw", error), end;
         !error && entry != end; entry.increment(error)) {
        std::string name = entry->path().filename().string();
        if (const auto number = hidrawNodeNumber(name))
            nodes.emplace_back(*number, std::move(name));
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> names;
    names.reserve(nodes.size());
    for (auto& node : nodes)
        names.push_back(std::move(node.second));
    return names;
}

fs::path SysfsReader::hidDevice(const std::string& nodeName) const {
    return sysRoot_ / "class" / "hidraw" / nodeName / "device";
}

std::optional<HidUevent> SysfsReader::hidUevent(const std::string& nodeName) const {
    if (!hidrawNodeNumber(nodeName))
        return std::nullopt;
    const auto text = readAttribute(hidDevice(nodeName) / "uevent");
    if (!text)
        return std::nullopt;
    return parseHidUevent(*text);
}

std::optional<std::string> SysfsReader::hidDeviceName(const std::string& nodeName) const {
    if (!hidrawNodeNumber(nodeName))
        return std::nullopt;
    std::error_code error;
    const fs::path device = fs::canonical(hidDevice(nodeName), error);
    if (error)
        return std::nullopt;
    return device.filename().string();
}

std::optional<UsbParent> SysfsReader::usbParent(const std::string& nodeName) const {
    if (!hidrawNodeNumber(nodeName))
        return std::nullopt;
    std::error_code error;
    const fs::path root = fs::canonical(sysRoot_, error);
    if (error)
        return std::nullopt;
    fs::path directory = fs::canonical(hidDevice(nodeName), error);
    if (error)
        return std::nullopt;
    for (int step = 0; step < MaxStepsToUsbDevice; ++step) {
        directory = directory.parent_path();
        // Never look outside the sysfs root, however the links point.
        const auto [rootEnd, unused] =
            std::mismatch(root.begin(), root.end(), directory.begin(), directory.end());
        if (rootEnd != root.end() || directory == root)
            return std::nullopt;
        if (isUsbDevice(directory))
            return readUsbParent(directory);
    }
    return std::nullopt;
}

}  // namespace fwu::platform::linux_hid
