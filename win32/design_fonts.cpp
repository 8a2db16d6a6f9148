#include "win32/design_fonts.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/windows/wide_text.h"

namespace fwu::win32 {
namespace {

constexpr int HundredthsOfAPointPerInch = 7200;

int CALLBACK noteScalableFace(const LOGFONTW*, const TEXTMETRICW*, DWORD fontType, LPARAM found) {
    const bool scalable = (fontType & RASTER_FONTTYPE) == 0;
    if (scalable)
        *reinterpret_cast<bool*>(found) = true;
    return scalable ? 0 : 1;  // 0 ends the enumeration
}

bool scalableFaceInstalled(const std::wstring& face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    if (face.size() >= LF_FACESIZE)
        return false;
    std::copy(face.begin(), face.end(), wanted.lfFaceName);
    bool found = false;
    const HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &wanted, noteScalableFace, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// The family itself when nothing of the list is installed: the font mapper then picks a face.
std::wstring installedFace(const window::FontDesign& font) {
    const std::wstring family = platform::windows::toUtf16(font.family);
    if (scalableFaceInstalled(family))
        return family;
    for (const std::string_view fallback : font.fallbacks) {
        std::wstring face = platform::windows::toUtf16(fallback);
        if (scalableFaceInstalled(face))
            return face;
    }
    return family;
}

}  // namespace

LOGFONTW designLogFont(const window::FontDesign& font, unsigned dpi) {
    LOGFONTW logFont{};
    // Negative: the character height (the point size), not the cell height.
    const int hundredths = static_cast<int>(std::lround(font.pointSize * 100.0));
    logFont.lfHeight = -MulDiv(hundredths, static_cast<int>(dpi), HundredthsOfAPointPerInch);
    logFont.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    logFont.lfCharSet = DEFAULT_CHARSET;
    logFont.lfOutPrecision = OUT_TT_PRECIS;
    logFont.lfQuality = CLEARTYPE_QUALITY;
    const std::wstring face = installedFace(font);
    std::copy_n(face.begin(), std::min<std::size_t>(face.size(), LF_FACESIZE - 1),
                logFont.lfFaceName);
    return logFont;
}

DesignFonts::~DesignFonts() {
    for (const auto& [design, font] : fonts_)
        DeleteObject(font);
}

HFONT DesignFonts::font(const window::FontDesign& design) {
    const auto known = fonts_.find(&design);
    if (known != fonts_.end())
        return known->second;
    const LOGFONTW logFont = designLogFont(design, dpi_);
    const HFONT made = CreateFontIndirectW(&logFont);
    fonts_.emplace(&design, made);
    return made;
}

}  // namespace fwu::win32
