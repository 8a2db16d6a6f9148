#include "window/caption_fit.h"
#include "window/window_texts.h"
#include "window_fixture.h"

namespace fwu::window::testing {
namespace {

TEST(TwipsScale, ConvertsEdgesSoThatFlushControlsStayFlush) {
    const struct {
        double dpi;
        ControlId control;
        PixelRect inContainer;  // worked out by hand from the design's twips
        PixelRect onForm;
    } cases[] = {
        {96, lblManuf, {104, 16, 236, 22}, {112, 16, 236, 22}},  // 15 twips a pixel
        // 10 twips a pixel: edges that fall on a half round away from zero.
        {144, Label4, {12, 24, 122, 29}, {24, 24, 122, 29}},
        // 9.6 twips a pixel: the trough and the fill from their sizes would be 539 x 20 and
        // 527 x 8, the fill no longer centred in the trough.
        {150, Picture1, {13, 181, 539, 21}, {13, 181, 539, 21}},
        {150, Pic, {19, 188, 526, 7}, {19, 188, 526, 7}},
    };
    for (const auto& c : cases) {
        const TwipsScale scale(c.dpi, c.dpi);
        EXPECT_EQ(pixelGeometry(c.control, scale), c.inContainer) << controlDesign(c.control).name;
        EXPECT_EQ(formPixelGeometry(c.control, scale), c.onForm) << controlDesign(c.control).name;
    }
}

TEST(CaptionFit, ListsTheCaptionsWiderOrTallerThanTheirControlsRoom) {
    const struct {
        double dpi;
        double characterWidth;  // in pixels at 96 DPI, proportionally more at higher DPIs
        int height;
        std::vector<ControlId> misfits;
    } cases[] = {
        // "Manufacturer": 12 characters of 7 pixels in 1215 twips (81 pixels, 122 at 144 DPI).
        {144, 7, 10, {Label4}},
        // "Update Firmware" is 123 pixels wide; its button is 129, less 4 on each side.
        {96, 8.2, 10, {Label3, Label4, Command3}},
        // The labels are 285 twips (19 pixels) high, the buttons 495 less 60 on each side.
        {96, 6, 20, {Label3, Label4, Label5, Label2}},
    };
    for (const auto& c : cases) {
        const auto measure = [&c](const FontDesign&, std::string_view text, double dpi) {
            return PixelSize{static_cast<int>(text.size() * c.characterWidth * dpi / 96), c.height};
        };
        std::vector<ControlId> misfits;
        for (const CaptionMisfit& misfit : captionsThatDoNotFit(c.dpi, measure))
            misfits.push_back(misfit.control);
        EXPECT_EQ(misfits, c.misfits) << c.dpi << " DPI, " << c.characterWidth << " x " << c.height;
    }
}

// The texts in place of the values wrap at their spaces: they fit while their lines do.
TEST(CaptionFit, ListsTheStatusTextsTallerThanTheirPlaceOnceWrapped) {
    const struct {
        double characterWidth;  // in pixels at 96 DPI, where the place is 236 x 94
        int height;
        std::vector<std::string_view> misfits;
    } cases[] = {
        {6, 15, {}},
        // Four lines of 20 pixels fit in 94: the text of the bootloader mode has five.
        {6, 20, {texts::DeviceInBootloaderMode}},
        // "firmware-update-cli" is wider than the place: it cannot be wrapped.
        {13, 10, {texts::DeviceInBootloaderMode}},
    };
    for (const auto& c : cases) {
        const auto measure = [&c](const FontDesign&, std::string_view text, double) {
            return PixelSize{static_cast<int>(text.size() * c.characterWidth), c.height};
        };
        std::vector<std::string_view> misfits;
        for (const CaptionMisfit& misfit : statusTextsThatDoNotFit(96, measure))
            misfits.push_back(misfit.caption);
        EXPECT_EQ(misfits, c.misfits) << c.characterWidth << " x " << c.height;
    }
}

}  // namespace
}  // namespace fwu::window::testing
