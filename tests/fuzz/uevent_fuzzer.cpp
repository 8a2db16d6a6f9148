#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/linux/uevent.h"
#include "tests/fuzz/fuzz_check.h"

// A uevent file is whatever the kernel, or a fake sysfs tree, holds: any bytes at all.
namespace {

using fwu::fuzz::check;
using namespace fwu::platform::linux_hid;

std::string formatHidId(const HidId& id) {
    char text[32];
    std::snprintf(text, sizeof text, "%04X:%08X:%08X", id.bus, id.vendorId, id.productId);
    return text;
}

bool isOneLine(const std::optional<std::string>& value) {
    return !value || value->find('\n') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const HidUevent uevent = parseHidUevent(text);
    check(isOneLine(uevent.name) && isOneLine(uevent.uniq), "a value never runs past its line");
    if (uevent.id) {
        const auto again = parseHidId(formatHidId(*uevent.id));
        check(again && *again == *uevent.id, "a parsed HID_ID reads back as itself");
    }
    if (const auto value = parseHex16(text)) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%x", *value);
        check(parseHex16(hex) == value, "a 16-bit hexadecimal number reads back as itself");
    }
    return 0;
}
