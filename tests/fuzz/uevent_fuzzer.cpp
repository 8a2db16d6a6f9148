#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/linux/uevent.h"
#include "tests/fuzz/fuzz_check.h"

using namespace fwu::platform::linux_hid;

// A uevent file or message is whatever the kernel, udev or a fake sysfs tree gives: any bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const HidUevent uevent = parseHidUevent(text);
    isHidrawArrivalOrRemoval(text);  // a netlink message, a udev header's offsets included
    for (const auto& value : {uevent.name, uevent.uniq})
        check(!value || value->find('\n') == std::string::npos, "a value never runs past its line");
    char written[32];
    if (const auto id = uevent.id) {
        std::snprintf(written, sizeof written, "%04X:%08X:%08X", id->bus, id->vendorId,
                      id->productId);
        check(parseHidId(written) == id, "a parsed HID_ID reads back as itself");
    }
    if (const auto value = parseHex16(text)) {
        std::snprintf(written, sizeof written, "%x", *value);
        check(parseHex16(written) == value, "a 16-bit hexadecimal number reads back as itself");
    }
    return 0;
}
