#include "window/form_design.h"

#include <array>

namespace fwu::window {
namespace {

constexpr std::array<std::string_view, 4> SansSerifFallbacks{"Microsoft Sans Serif", "Tahoma",
                                                             "Liberation Sans", "DejaVu Sans"};
constexpr std::array<std::string_view, 4> ArialFallbacks{"Liberation Sans", "Arimo", "Nimbus Sans",
                                                         "DejaVu Sans"};

constexpr FontDesign FormFont{"MS Sans Serif", 8.25, false, SansSerifFallbacks};
constexpr FontDesign ButtonFont{"MS Sans Serif", 8.25, true, SansSerifFallbacks};
constexpr FontDesign FrameFont{"Arial", 9.75, false, ArialFallbacks};

constexpr FormDesign Form{"frmMain", "Firmware Update", {5415, 2640}, &FormFont};

using enum ControlId;
using enum ControlKind;
constexpr bool Shown = true, Hidden = false, Enabled = true, Disabled = false;

// One row per control: id, name, kind, caption, twips geometry, container, visible, enabled,
// font, the label that names it and its accessible name. lblStatus takes the place of the four
// values when the window has something to say about the device instead.
// clang-format off
constexpr std::array<ControlDesign, ControlCount> Controls{{
    {Frame1,           "Frame1",           Frame,         "",                  {120, 0, 5175, 1695},     {},      Shown,   Disabled,  &FrameFont,  {},     ""},
    {Label3,           "Label3",           Label,         "Serial Number",     {120, 1320, 1455, 285},   Frame1,  Shown,   Enabled,   &FrameFont,  {},     ""},
    {Label4,           "Label4",           Label,         "Manufacturer",      {120, 240, 1215, 285},    Frame1,  Shown,   Enabled,   &FrameFont,  {},     ""},
    {Label5,           "Label5",           Label,         "Product",           {120, 600, 1215, 285},    Frame1,  Shown,   Enabled,   &FrameFont,  {},     ""},
    {Label2,           "Label2",           Label,         "Version",           {120, 960, 1455, 285},    Frame1,  Shown,   Enabled,   &FrameFont,  {},     ""},
    {lblManuf,         "lblManuf",         ValueLabel,    "",                  {1560, 240, 3540, 330},   Frame1,  Shown,   Enabled,   &FrameFont,  Label4, ""},
    {lblProduct,       "lblProduct",       ValueLabel,    "",                  {1560, 600, 3540, 330},   Frame1,  Shown,   Enabled,   &FrameFont,  Label5, ""},
    {lblVersion,       "lblVersion",       ValueLabel,    "",                  {1560, 960, 3540, 330},   Frame1,  Shown,   Enabled,   &FrameFont,  Label2, ""},
    {lblSerialNumber,  "lblSerialNumber",  ValueLabel,    "",                  {1560, 1320, 3480, 330},  Frame1,  Shown,   Enabled,   &FrameFont,  Label3, ""},
    {Command4,         "Command4",         Button,        "Upgrade Firmware",  {1500, 2040, 2415, 495},  {},      Hidden,  Enabled,   &ButtonFont, {},     ""},
    {Command2,         "Command2",         Button,        "2. Load Firmware",  {120, 2700, 5175, 495},   {},      Hidden,  Enabled,   &FormFont,   {},     ""},
    {Pic,              "Pic",              ProgressFill,  "",                  {180, 1800, 5055, 75},    {},      Hidden,  Enabled,   &FormFont,   {},     "Progress"},
    {Picture1,         "Picture1",         Trough,        "",                  {120, 1740, 5175, 195},   {},      Shown,   Enabled,   &FormFont,   {},     ""},
    {Command1,         "Command1",         Button,        "Read SPI",          {3720, 4320, 1450, 495},  {},      Hidden,  Enabled,   &ButtonFont, {},     ""},
    {Text1,            "Text1",            TextBox,       "",                  {120, 3360, 5170, 850},   {},      Hidden,  Enabled,   &FormFont,   {},     ""},
    {Command3,         "Command3",         Button,        "Update Firmware",   {1680, 2040, 1930, 495},  {},      Shown,   Disabled,  &ButtonFont, {},     ""},
    {Command5,         "Command5",         Button,        "Erase chip",        {3840, 2040, 1450, 495},  {},      Hidden,  Enabled,   &ButtonFont, {},     ""},
    {Command6,         "Command6",         Button,        "Bootloader",        {120, 4320, 1450, 495},   {},      Hidden,  Enabled,   &ButtonFont, {},     ""},
    {lblStatus,        "lblStatus",        StatusText,    "",                  {1560, 240, 3540, 1410},  Frame1,  Hidden,  Enabled,   &FrameFont,  {},     ""},
}};
// clang-format on

constexpr bool indexedById() {
    for (std::size_t index = 0; index < Controls.size(); ++index) {
        if (static_cast<std::size_t>(Controls[index].id) != index)
            return false;
    }
    return true;
}
static_assert(indexedById(), "the controls are listed in the order of ControlId");

}  // namespace

const FormDesign& formDesign() {
    return Form;
}

std::span<const ControlDesign> controlDesigns() {
    return Controls;
}

const ControlDesign& controlDesign(ControlId control) {
    return Controls.at(static_cast<std::size_t>(control));
}

PixelRect pixelGeometry(ControlId control, const TwipsScale& scale) {
    return scale.toPixels(controlDesign(control).geometry);
}

PixelRect formPixelGeometry(ControlId control, const TwipsScale& scale) {
    TwipsRect twips = controlDesign(control).geometry;
    for (auto container = controlDesign(control).container; container;
         container = controlDesign(*container).container) {
        twips.left += controlDesign(*container).geometry.left;
        twips.top += controlDesign(*container).geometry.top;
    }
    return scale.toPixels(twips);
}

}  // namespace fwu::window
