#include "app/design_fonts.h"

#include <QFont>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>

namespace fwu::app {
namespace {

struct DesignFont {
    const char* family;
    qreal pointSize;
    // Alike in shape and width, most alike first; the last is always present on a Linux desktop.
    std::array<const char*, 4> fallbacks;
};

constexpr std::array<DesignFont, 2> DesignFonts = {{
    {"MS Sans Serif", 8.25, {"Microsoft Sans Serif", "Tahoma", "Liberation Sans", "DejaVu Sans"}},
    {"Arial", 9.75, {"Liberation Sans", "Arimo", "Nimbus Sans", "DejaVu Sans"}},
}};

const DesignFont* designFontOf(const QFont& font) {
    for (const auto& design : DesignFonts) {
        if (font.family() == QLatin1String(design.family))
            return &design;
    }
    return nullptr;
}

void applyDesignFont(QWidget& widget) {
    QFont font = widget.font();
    const DesignFont* design = designFontOf(font);
    if (!design)
        return;
    QStringList families{QString::fromLatin1(design->family)};
    for (const char* fallback : design->fallbacks)
        families << QString::fromLatin1(fallback);
    font.setFamilies(families);
    font.setPointSizeF(design->pointSize);
    widget.setFont(font);
}

}  // namespace

void applyDesignFonts(QWidget& form) {
    applyDesignFont(form);
    for (QWidget* control : form.findChildren<QWidget*>()) {
        if (control->testAttribute(Qt::WA_SetFont))
            applyDesignFont(*control);
    }
}

}  // namespace fwu::app
