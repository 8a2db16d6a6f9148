#include "window/event_pacer.h"

#include "window/window_view.h"

namespace fwu::window {

void EventPacer::request() {
    const auto now = Clock::now();
    if (lastPass_ && now - *lastPass_ < interval_)
        return;
    view_.processEvents();
    // Counted from the end of the pass: a pass that waited for a person (a message box) does
    // not make the next one due at once.
    lastPass_ = Clock::now();
}

}  // namespace fwu::window
