#include "platform/windows/wide_text.h"

#include <limits>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace fwu::platform::windows {

namespace {

bool fitsInInt(std::size_t size) {
    return size <= static_cast<std::size_t>(std::numeric_limits<int>::max());
}

}  // namespace

std::string toUtf8(std::wstring_view text) {
    if (text.empty() || !fitsInInt(text.size()))
        return {};
    const int units = static_cast<int>(text.size());
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    std::string converted(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), units, converted.data(), bytes, nullptr,
                            nullptr);
    }
    return converted;
}

std::wstring toUtf16(std::string_view text) {
    if (text.empty() || !fitsInInt(text.size()))
        return {};
    const int bytes = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, nullptr, 0);
    std::wstring converted(static_cast<std::size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, converted.data(), units);
    return converted;
}

}  // namespace fwu::platform::windows
