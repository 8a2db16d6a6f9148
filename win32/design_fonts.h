#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <map>

#include "window/form_design.h"

namespace fwu::win32 {

// The GDI font for `font` at `dpi`: its point size in pixels at that DPI, in the first face of
// the family and its fallbacks that is installed as a scalable font. A bitmap face is passed
// over: it would be drawn in one size whatever the DPI.
LOGFONTW designLogFont(const window::FontDesign& font, unsigned dpi);

// The fonts of the form's design at one DPI, made on first use and deleted with the object.
class DesignFonts {
  public:
    explicit DesignFonts(unsigned dpi) : dpi_(dpi) {}
    ~DesignFonts();
    DesignFonts(const DesignFonts&) = delete;
    DesignFonts& operator=(const DesignFonts&) = delete;

    HFONT font(const window::FontDesign& design);

  private:
    unsigned dpi_;
    std::map<const window::FontDesign*, HFONT> fonts_;
};

}  // namespace fwu::win32
