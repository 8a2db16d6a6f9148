#pragma once

#include <QHash>
#include <QRect>
#include <QSize>

#include "app/twips.h"

class QWidget;

namespace fwu::app {

// The form's layout as designed. frmmain.ui gives the client area and every control's position
// and size in twips; apply() keeps those values and replaces them by pixels, once, before the
// window is first shown.
class TwipsLayout {
  public:
    static TwipsLayout apply(QWidget& form, const TwipsScale& scale);

    // The designed geometry of a control, in twips relative to its container.
    QRect designGeometry(const QWidget& control) const { return twips_.value(&control); }
    QSize clientSize() const { return clientSize_; }

  private:
    void convertChildren(QWidget& container, const TwipsScale& scale);

    QSize clientSize_;
    QHash<const QWidget*, QRect> twips_;
};

}  // namespace fwu::app
