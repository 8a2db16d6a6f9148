#include "app/design_fonts.h"

#include <QString>
#include <QStringList>

namespace fwu::app {
namespace {

QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace

QFont designFont(const window::FontDesign& design) {
    QStringList families{text(design.family)};
    for (const std::string_view fallback : design.fallbacks)
        families << text(fallback);
    QFont font;
    font.setFamilies(families);
    font.setPointSizeF(design.pointSize);
    font.setBold(design.bold);
    return font;
}

}  // namespace fwu::app
