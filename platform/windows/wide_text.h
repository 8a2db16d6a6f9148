#pragma once

#include <string>
#include <string_view>

// UTF-8, the program's own encoding, to and from UTF-16, Windows' own. Never the ANSI code page.
namespace fwu::platform::windows {

// Code units that are not valid UTF-16 (a lone surrogate) become U+FFFD.
std::string toUtf8(std::wstring_view text);
// Bytes that are not valid UTF-8 become U+FFFD.
std::wstring toUtf16(std::string_view text);

}  // namespace fwu::platform::windows
