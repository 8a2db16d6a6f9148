#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "device/identity.h"
#include "platform/linux/utf16_text.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/reliability/utf8_check.h"

// An identity string is whatever bytes the device answers the query with.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fwu::device::decodeIdentityString(std::span(data, size));

    const auto codePoints = utf8CodePoints(text);
    check(codePoints.has_value(), "the decoded text is well-formed UTF-8");
    check(codePoints->size() <= size / 2, "no more characters than code units");
    check(codePoints->find(U'\0') == std::u32string::npos, "decoding stops at a zero unit");

    // Written back as a backend writes a string and decoded again, the text is unchanged.
    const std::u16string units = fwu::platform::linux_hid::utf8ToUtf16(text);
    std::vector<std::uint8_t> query(units.size() * 2 + 2, 0xEE);
    fwu::platform::linux_hid::writeUtf16Le(units, query);
    check(fwu::device::decodeIdentityString(query) == text, "the text survives a round trip");
    return 0;
}
