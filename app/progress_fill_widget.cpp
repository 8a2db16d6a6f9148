#include "app/progress_fill_widget.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

namespace fwu::app {
namespace {

constexpr int LeastPercent = 0;
constexpr int MostPercent = 100;

class FillAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit FillAccessible(ProgressFillWidget* fill)
        : QAccessibleWidget(fill, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override {
        return static_cast<const ProgressFillWidget*>(widget())->percent();
    }
    void setCurrentValue(const QVariant&) override {}  // the operations move it, nobody else
    QVariant minimumValue() const override { return LeastPercent; }
    QVariant maximumValue() const override { return MostPercent; }
    QVariant minimumStepSize() const override { return 1; }
};

QAccessibleInterface* accessibleFill(const QString&, QObject* object) {
    if (auto* fill = dynamic_cast<ProgressFillWidget*>(object))
        return new FillAccessible(fill);
    return nullptr;
}

}  // namespace

ProgressFillWidget::ProgressFillWidget() {
    QAccessible::installFactory(accessibleFill);  // once: Qt keeps a factory only once
}

void ProgressFillWidget::setPercent(int percent) {
    if (percent == percent_)
        return;
    percent_ = percent;
    QAccessibleValueChangeEvent event(this, percent);
    QAccessible::updateAccessibility(&event);
}

}  // namespace fwu::app
