#include "platform/linux/utf16_text.h"

namespace fwu::platform::linux_hid {
namespace {

constexpr char32_t ReplacementCharacter = 0xFFFD;
constexpr char32_t MaxCodePoint = 0x10FFFF;
constexpr char32_t FirstSupplementary = 0x10000;

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Decodes one code point at `text[index]` and advances `index` past it; an invalid sequence
// yields U+FFFD and advances by one byte.
char32_t decodeOne(std::string_view text, std::size_t& index) {
    const auto lead = static_cast<unsigned char>(text[index]);
    std::size_t length = 0;
    char32_t codePoint = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
        ++index;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, codePoint = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, codePoint = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, codePoint = lead & 0x07, smallest = FirstSupplementary;
    } else {
        ++index;
        return ReplacementCharacter;
    }
    if (text.size() - index < length) {
        ++index;
        return ReplacementCharacter;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[index + i]);
        if (!isContinuation(byte)) {
            ++index;
            return ReplacementCharacter;
        }
        codePoint = (codePoint << 6) | (byte & 0x3F);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < smallest || codePoint > MaxCodePoint || surrogate) {
        ++index;
        return ReplacementCharacter;
    }
    index += length;
    return codePoint;
}

void appendUtf16(std::u16string& out, char32_t codePoint) {
    if (codePoint < FirstSupplementary) {
        out.push_back(static_cast<char16_t>(codePoint));
        return;
    }
    const char32_t offset = codePoint - FirstSupplementary;
    out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    std::size_t index = 0;
    while (index < text.size())
        appendUtf16(out, decodeOne(text, index));
    return out;
}

void writeUtf16Le(std::u16string_view text, std::span<std::uint8_t> buffer) {
    constexpr std::size_t unitSize = 2;
    std::size_t position = 0;
    auto put = [&](char16_t unit) {
        buffer[position] = static_cast<std::uint8_t>(unit & 0xFF);
        buffer[position + 1] = static_cast<std::uint8_t>(unit >> 8);
        position += unitSize;
    };
    for (const char16_t unit : text) {
        if (buffer.size() - position < unitSize)
            return;
        put(unit);
    }
    if (buffer.size() - position >= unitSize)
        put(u'\0');
}

}  // namespace fwu::platform::linux_hid
