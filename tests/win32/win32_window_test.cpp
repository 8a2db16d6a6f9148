#include <gtest/gtest.h>
#include <oleacc.h>

#include <cstdlib>
#include <string>

#include "platform/windows/wide_text.h"
#include "simulator/simulated_bus.h"
#include "tests/firmware/operations_fixture.h"
#include "win32/design_fonts.h"
#include "win32/display_dpi.h"
#include "win32/form_window.h"
#include "window/caption_fit.h"

namespace fwu::win32 {
namespace {

using namespace window;
using enum ControlId;

// The form over a simulated bus, laid out at the DPI of its display. The script that runs these
// tests sets that DPI and names it in FWU_EXPECTED_DPI.
class Win32Window : public ::testing::Test {
  protected:
    firmware::testing::TempFolder folder;
    simulator::SimulatedBus bus;
    FormWindow window{bus, firmware::ProgramFiles{folder.path()}};
    unsigned dpi = displayDpi(window.handle());
};

PixelRect placeOnForm(HWND form, HWND control) {
    RECT bounds{};
    GetWindowRect(control, &bounds);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&bounds), 2);
    return {bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top};
}

std::string textOf(HWND control) {
    wchar_t text[256] = L"";
    GetWindowTextW(control, text, 256);
    return platform::windows::toUtf8(text);
}

TEST_F(Win32Window, BuildsEveryControlAsDesignedAtTheDisplaysDpi) {
    if (const char* expected = std::getenv("FWU_EXPECTED_DPI")) {
        ASSERT_EQ(dpi, std::stoul(expected)) << "the display's DPI";
    }
    const TwipsScale scale(dpi, dpi);
    RECT client{};
    GetClientRect(window.handle(), &client);
    EXPECT_EQ(PixelSize(client.right, client.bottom), scale.toPixels(formDesign().clientSize));
    window.showWindow();
    window.setVisible(Pic, true);
    for (const ControlDesign& design : controlDesigns()) {
        SCOPED_TRACE(design.name.data());
        const HWND control = window.control(design.id);
        const PixelRect place = placeOnForm(window.handle(), control);
        EXPECT_EQ(place, formPixelGeometry(design.id, scale));
        EXPECT_EQ(textOf(control), design.caption);
        EXPECT_EQ(IsWindowVisible(control) != 0, design.visible || design.id == Pic);
        EXPECT_EQ(IsWindowEnabled(control) != 0, design.enabled);
        LOGFONTW font{};
        const auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
        if (design.kind != ControlKind::ProgressFill && GetObjectW(handle, sizeof font, &font)) {
            const LOGFONTW designed = designLogFont(*design.font, dpi);
            EXPECT_EQ(std::tie(font.lfHeight, font.lfWeight),
                      std::tie(designed.lfHeight, designed.lfWeight));
            EXPECT_STREQ(font.lfFaceName, designed.lfFaceName);
        } else {
            EXPECT_EQ(design.kind, ControlKind::ProgressFill) << "no font";
        }
        // What is seen at its centre: Pic over the trough, the labels over their frame.
        const POINT centre{place.left + place.width / 2, place.top + place.height / 2};
        if (IsWindowVisible(control) && design.id != Frame1 && design.id != Picture1) {
            EXPECT_EQ(ChildWindowFromPointEx(window.handle(), centre, CWP_SKIPINVISIBLE), control);
        }
    }
}

TEST_F(Win32Window, PaintsTheFillAtOnceOnlyWhenTold) {
    window.showWindow();
    window.setVisible(Pic, true);
    window.processEvents();  // painted at its design width
    const HWND fill = window.control(Pic);
    const auto filled = [fill](int x) {  // whether the screen shows the fill's colour there
        const HDC context = GetDC(fill);
        const COLORREF colour = GetPixel(context, x, 0);
        ReleaseDC(fill, context);
        return colour ==
               RGB(ProgressFillColour.red, ProgressFillColour.green, ProgressFillColour.blue);
    };
    window.setFillWidth(100, Repaint::Later);
    window.processEvents();
    EXPECT_TRUE(filled(99) && !filled(100)) << "not 100 pixels wide";
    window.setFillWidth(169, Repaint::Later);
    EXPECT_FALSE(filled(168)) << "painted before it was due";
    window.setFillWidth(200, Repaint::Now);
    EXPECT_TRUE(filled(199) && !filled(200)) << "not painted at once, 200 pixels wide";
}

// What an accessible object of `control` answers: its name, role and value ("-" where it has
// none), from oleacc where it answers AccessibleObjectFromWindow, else from the control's own
// answer to WM_GETOBJECT.
std::string accessibleReading(HWND control) {
    void* found = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, OBJID_CLIENT, __uuidof(IAccessible), &found))) {
        const LRESULT answer = SendMessageW(control, WM_GETOBJECT, 0, OBJID_CLIENT);
        if (answer <= 0 || FAILED(ObjectFromLresult(answer, __uuidof(IAccessible), 0, &found)))
            return "no object";
    }
    auto* object = static_cast<IAccessible*>(found);
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    const auto text = [&](HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) {
        BSTR answer = nullptr;
        const bool answered = (object->*get)(self, &answer) == S_OK && answer != nullptr;
        const std::string utf8 = answered ? platform::windows::toUtf8(answer) : "-";
        SysFreeString(answer);
        return utf8;
    };
    VARIANT role{};
    const bool hasRole = object->get_accRole(self, &role) == S_OK && role.vt == VT_I4;
    const std::string reading = text(&IAccessible::get_accName) + " | " +
                                (hasRole ? std::to_string(role.lVal) : "-") + " | " +
                                text(&IAccessible::get_accValue);
    object->Release();
    return reading;
}

// Screen readers name a control by the static text just before it in the window order: each
// value follows its caption. The fill is a progress bar named "Progress" whose value follows it.
TEST_F(Win32Window, TellsAssistiveTechnologyTheValuesCaptionsAndTheFillsProgress) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    window.setCaption(lblManuf, " Simulated Devices");
    for (const ControlDesign& design : controlDesigns()) {
        if (design.namedBy) {
            EXPECT_EQ(GetWindow(window.control(design.id), GW_HWNDPREV),
                      window.control(*design.namedBy))
                << design.name;
        }
    }
    const auto name = [this](ControlId control) {
        const std::string reading = accessibleReading(window.control(control));
        return reading.substr(0, reading.find(" | "));
    };
    EXPECT_EQ(name(Label4), "Manufacturer");
    EXPECT_EQ(name(lblManuf), " Simulated Devices");
    const std::string progressBar = std::to_string(ROLE_SYSTEM_PROGRESSBAR);
    for (const int percent : {0, 45, 100}) {
        window.setFillValue(percent);
        EXPECT_EQ(accessibleReading(window.control(Pic)),
                  "Progress | " + progressBar + " | " + std::to_string(percent) + "%");
    }
    CoUninitialize();
}

// With the fonts the window makes, measured as GDI draws them, on a display of each DPI.
TEST(Win32Captions, FitTheirControlsAtEveryDpi) {
    const HDC context = CreateCompatibleDC(nullptr);
    const auto measure = [context](const FontDesign& font, std::string_view text, double dpi) {
        const LOGFONTW logFont = designLogFont(font, static_cast<unsigned>(dpi));
        const HFONT made = CreateFontIndirectW(&logFont);
        const HGDIOBJ earlier = SelectObject(context, made);
        const std::wstring wide = platform::windows::toUtf16(text);
        SIZE size{};
        GetTextExtentPoint32W(context, wide.c_str(), static_cast<int>(wide.size()), &size);
        SelectObject(context, earlier);
        DeleteObject(made);
        return PixelSize{size.cx, size.cy};
    };
    for (const double dpi : CaptionCheckDpis) {
        std::vector<CaptionMisfit> misfits = captionsThatDoNotFit(dpi, measure);
        std::ranges::copy(statusTextsThatDoNotFit(dpi, measure), std::back_inserter(misfits));
        for (const CaptionMisfit& misfit : misfits) {
            ADD_FAILURE() << misfit.caption << " at " << dpi << " DPI: " << misfit.text.width
                          << " x " << misfit.text.height << " in " << misfit.room.width << " x "
                          << misfit.room.height;
        }
    }
    DeleteDC(context);
}

}  // namespace
}  // namespace fwu::win32
