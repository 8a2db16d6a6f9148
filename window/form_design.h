#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "window/twips.h"

// The form frmMain as designed: its controls, their captions, places in twips, fonts and design
// state. Both windows build their controls from this, so that nothing is written twice.
namespace fwu::window {

// The controls, in the order of their tab index.
enum class ControlId {
    Frame1,
    Label3,
    Label4,
    Label5,
    Label2,
    lblManuf,
    lblProduct,
    lblVersion,
    lblSerialNumber,
    Command4,
    Command2,
    Pic,
    Picture1,
    Command1,
    Text1,
    Command3,
    Command5,
    Command6,
    lblStatus,
};
inline constexpr std::size_t ControlCount = 19;

enum class ControlKind {
    Frame,         // a bordered container without caption text; disabled, its texts stay legible
    Label,         // a caption on the form's background
    ValueLabel,    // a sunken label in the system's window background and window text colours
    Button,        // a push button
    TextBox,       // a single-line edit box
    Trough,        // a sunken, bordered picture box
    ProgressFill,  // a borderless picture box in ProgressFillColour, in front of its siblings
    StatusText,    // a caption of several lines, wrapped at word breaks, on the form's background
};

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};
inline constexpr Rgb ProgressFillColour{128, 128, 255};

struct FontDesign {
    std::string_view family;
    double pointSize;
    bool bold;
    // Families alike in shape and width, most alike first, for where `family` is missing.
    std::span<const std::string_view> fallbacks;
};

struct ControlDesign {
    ControlId id;
    std::string_view name;  // the control's object name
    ControlKind kind;
    std::string_view caption;            // a text box's text; empty for frames and picture boxes
    TwipsRect geometry;                  // relative to the container
    std::optional<ControlId> container;  // the form when empty
    bool visible;
    bool enabled;
    const FontDesign* font;
    // For assistive technology: the label whose caption names this control (a value's caption),
    // or the name of a control that shows no text of its own; empty for the others.
    std::optional<ControlId> namedBy;
    std::string_view accessibleName;
};

struct FormDesign {
    std::string_view name;
    std::string_view caption;
    TwipsSize clientSize;
    const FontDesign* font;
};

const FormDesign& formDesign();
// Every control, in tab order.
std::span<const ControlDesign> controlDesigns();
const ControlDesign& controlDesign(ControlId control);

// A control's place in pixels relative to its container, and relative to the form's client area
// for a toolkit that places every control on the form itself.
PixelRect pixelGeometry(ControlId control, const TwipsScale& scale);
PixelRect formPixelGeometry(ControlId control, const TwipsScale& scale);

}  // namespace fwu::window
