#include "app/twips_layout.h"

#include <QGroupBox>
#include <QWidget>

namespace fwu::app {

TwipsLayout TwipsLayout::apply(QWidget& form, const TwipsScale& scale) {
    TwipsLayout layout;
    layout.clientSize_ = form.size();
    form.setFixedSize(scale.toPixels(QSizeF(layout.clientSize_)));
    layout.convertChildren(form, scale);
    return layout;
}

// The form's containers are the form itself and its frames; other controls may have widgets of
// their own inside, which are not part of the design.
void TwipsLayout::convertChildren(QWidget& container, const TwipsScale& scale) {
    const auto children = container.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        const QRect twips = child->geometry();
        twips_.insert(child, twips);
        child->setGeometry(scale.toPixels(QRectF(twips)));
        if (qobject_cast<QGroupBox*>(child))
            convertChildren(*child, scale);
    }
}

}  // namespace fwu::app
