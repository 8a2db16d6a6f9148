#pragma once

#include <optional>
#include <string_view>

#include "window/form_design.h"
#include "window/message_box.h"

namespace fwu::window {

enum class Repaint { Later, Now };

// The screen as the window's logic drives it: the form and the controls of its design, built by
// a toolkit. Every call comes on the window's thread, and each takes effect before it returns
// (a repaint only when asked for). Texts are UTF-8.
class WindowView {
  public:
    virtual ~WindowView() = default;

    // Shows the form with its controls in their present state.
    virtual void showWindow() = 0;
    // Closes the form, which ends the program. The toolkit's close then asks
    // MainWindow::closeRequested() like any other close, and is told yes.
    virtual void closeWindow() = 0;

    // A label's or button's caption, or a text box's text.
    virtual void setCaption(ControlId control, std::string_view text) = 0;
    virtual void setEnabled(ControlId control, bool enabled) = 0;
    virtual void setVisible(ControlId control, bool visible) = 0;
    virtual void setFocus(ControlId control) = 0;
    // The control that has the keyboard focus, if it is one of the design's.
    virtual std::optional<ControlId> focusedControl() const = 0;

    // The width of the progress fill Pic in pixels; its left edge stays. Repaint::Now paints the
    // fill before returning, Repaint::Later when the toolkit next paints.
    virtual void setFillWidth(int pixels, Repaint repaint) = 0;

    // Shows the box, modal over the form, and returns the answer chosen.
    virtual MessageAnswer showMessage(const MessageBoxRequest& request) = 0;

    // Processes the window's pending events once, without waiting for more. A click or a close
    // request delivered here reaches the logic while an operation is running.
    virtual void processEvents() = 0;

    // The fill's progress for assistive technology, from 0 to 100, when it changes; the view
    // tells listening screen readers. Nothing is repainted.
    virtual void setFillValue(int percent) = 0;

    // The notifications of devices arriving and leaving reach the window's thread through these
    // two, whichever the platform uses: the view then calls MainWindow::devicesChanged() there.
    // Whenever `descriptor` is readable (a socket notifier, say):
    virtual void watchDescriptor(int descriptor) = 0;
    // Once, soon, for a call that may come on any thread (a posted event or message):
    virtual void postDevicesChanged() = 0;
};

}  // namespace fwu::window
