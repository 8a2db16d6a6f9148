#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace fwu::platform::linux_hid {

// UTF-8 text as UTF-16 code units. A byte sequence that is not UTF-8 becomes U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);

// Writes the code units little-endian into `buffer`: as many whole units as fit, then a zero
// unit when it fits too. Bytes past the written ones are left as they were.
void writeUtf16Le(std::u16string_view text, std::span<std::uint8_t> buffer);

}  // namespace fwu::platform::linux_hid
