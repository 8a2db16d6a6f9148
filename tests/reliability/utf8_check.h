#pragma once

#include <iconv.h>

#include <optional>
#include <string>
#include <string_view>

// The code points of `text` when it is well-formed UTF-8; nothing otherwise. glibc's decoder
// refuses overlong forms, surrogates, anything above U+10FFFF and a sequence cut short.
inline std::optional<std::u32string> utf8CodePoints(std::string_view text) {
    std::u32string codePoints(text.size(), U'\0');
    char* in = const_cast<char*>(text.data());
    char* out = reinterpret_cast<char*>(codePoints.data());
    std::size_t inLeft = text.size(), outLeft = codePoints.size() * sizeof(char32_t);
    const iconv_t decoder = iconv_open("UTF-32LE", "UTF-8");
    const bool wellFormed = iconv(decoder, &in, &inLeft, &out, &outLeft) == 0;
    iconv_close(decoder);
    codePoints.resize(codePoints.size() - outLeft / sizeof(char32_t));
    return wellFormed ? std::optional(codePoints) : std::nullopt;
}
