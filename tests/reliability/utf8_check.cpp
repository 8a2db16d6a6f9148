#include "tests/reliability/utf8_check.h"

namespace fwu::reliability {

namespace {

struct SequenceForm {
    std::size_t length;
    char32_t leadBits;
    char32_t smallest;
};

std::optional<SequenceForm> formOf(unsigned char lead) {
    if (lead < 0x80)
        return SequenceForm{1, lead, 0};
    if ((lead & 0xE0) == 0xC0)
        return SequenceForm{2, lead & 0x1Fu, 0x80};
    if ((lead & 0xF0) == 0xE0)
        return SequenceForm{3, lead & 0x0Fu, 0x800};
    if ((lead & 0xF8) == 0xF0)
        return SequenceForm{4, lead & 0x07u, 0x10000};
    return std::nullopt;
}

}  // namespace

std::optional<std::u32string> utf8CodePoints(std::string_view text) {
    std::u32string codePoints;
    std::size_t index = 0;
    while (index < text.size()) {
        const auto form = formOf(static_cast<unsigned char>(text[index]));
        if (!form || text.size() - index < form->length)
            return std::nullopt;
        char32_t codePoint = form->leadBits;
        for (std::size_t i = 1; i < form->length; ++i) {
            const auto byte = static_cast<unsigned char>(text[index + i]);
            if ((byte & 0xC0) != 0x80)
                return std::nullopt;
            codePoint = (codePoint << 6) | (byte & 0x3Fu);
        }
        const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
        if (codePoint < form->smallest || codePoint > 0x10FFFF || surrogate)
            return std::nullopt;
        codePoints.push_back(codePoint);
        index += form->length;
    }
    return codePoints;
}

}  // namespace fwu::reliability
