#include "app/event_pacer.h"

#include <QCoreApplication>

namespace fwu::app {

void EventPacer::request() {
    const auto now = Clock::now();
    if (lastPass_ && now - *lastPass_ < interval_)
        return;
    QCoreApplication::processEvents();
    // Counted from the end of the pass: a pass that waited for a person (a message box) does
    // not make the next one due at once.
    lastPass_ = Clock::now();
}

}  // namespace fwu::app
