// Colours and fonts of the window toolkit.
#pragma once

#include "system/Handles.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// A colour: 0x00BBGGRR for a plain colour, 0xFF0000nn for the system colour nn
// (so a design can say "window text" and follow the user's scheme).
using TColor = std::int32_t;

constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000);
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clWindow = clSystemColor | COLOR_WINDOW;
constexpr TColor clWindowText = clSystemColor | COLOR_WINDOWTEXT;
constexpr TColor clBtnFace = clSystemColor | COLOR_BTNFACE;
constexpr TColor clHighlight = clSystemColor | COLOR_HIGHLIGHT;
constexpr TColor clHotLight = clSystemColor | COLOR_HOTLIGHT;

COLORREF colorToRgb(TColor color);
// "#RRGGBB" or a system colour name ("windowText", "btnFace", "window",
// "highlight", "hotLight", "none"); false for anything else.
bool parseColor(std::wstring_view text, TColor& color);

// The contrast ratio of two colours, from 1 (same) to 21 (black on white):
// (L1 + 0.05) / (L2 + 0.05) of their relative luminances, the lighter first.
double contrastRatio(COLORREF a, COLORREF b);
// Text in the system's hot-light colour stays in it where it reads, that is
// where it reaches a contrast ratio of 4.5:1 (the usual minimum for body
// text) against BACKGROUND; elsewhere, as with Wine's light grey on a white
// window, it is drawn in a fixed readable blue (the hot-light colour of
// Windows' own scheme).
COLORREF readableHotLight(COLORREF hotLight, COLORREF background);
// The colour text of COLOR is drawn in on BACKGROUND (the hot-light rule
// above applied).
COLORREF textColorOn(TColor color, COLORREF background);

constexpr int kScreenDpi = 96;

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// A font description with its GDI font made on demand. Height follows the
// usual convention: negative is the character height in pixels.
class TFont {
public:
    TFont();
    TFont(const TFont& other);
    TFont& operator=(const TFont& other);

    const std::wstring& name() const { return name_; }
    void setName(std::wstring name);
    int height() const { return height_; }
    void setHeight(int height);
    int size() const;
    void setSize(int points);
    TColor color() const { return color_; }
    void setColor(TColor color);
    unsigned style() const { return style_; }
    void setStyle(unsigned style);

    // Pixels from the top of a line of text to its baseline.
    int ascent() const;

    // Copies every attribute and reports one change.
    void assign(const TFont& other);
    HFONT handle() const;
    // The font for a window laid out at DPI (heights are in 96-DPI pixels).
    HFONT handle(int dpi) const;

    // Called after every change; the owning control repaints and re-sizes.
    std::function<void()> onChange;

private:
    void changed();
    HFONT create(int dpi) const;

    std::wstring name_ = L"Tahoma";
    int height_ = -11;
    TColor color_ = clWindowText;
    unsigned style_ = 0;
    mutable win::Font handle_;
    mutable win::Font scaledHandle_;
    mutable int scaledDpi_ = 0;
};
