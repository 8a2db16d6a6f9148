#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fwu::reliability {

// The code points of `text` when it is well-formed UTF-8 (shortest forms, no surrogates,
// nothing above U+10FFFF); nothing otherwise.
std::optional<std::u32string> utf8CodePoints(std::string_view text);

}  // namespace fwu::reliability
