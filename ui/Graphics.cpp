#include "ui/Graphics.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <cwctype>

namespace {

struct NamedColor {
    const wchar_t* name;
    TColor color;
};

constexpr NamedColor kColorNames[] = {
    {L"none", clNone},           {L"window", clWindow},       {L"windowText", clWindowText},
    {L"btnFace", clBtnFace},     {L"highlight", clHighlight}, {L"hotLight", clHotLight},
    {L"black", clBlack},         {L"white", clWhite},
};

constexpr double kReadableContrast = 4.5;
constexpr COLORREF kReadableBlue = RGB(0x00, 0x66, 0xCC);

// Relative luminance of an sRGB colour, 0 (black) to 1 (white).
double luminance(COLORREF c)
{
    const auto linear = [](BYTE channel) {
        const double v = channel / 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(GetRValue(c)) + 0.7152 * linear(GetGValue(c)) + 0.0722 * linear(GetBValue(c));
}

int hexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    c = static_cast<wchar_t>(std::towlower(c));
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    return -1;
}

} // namespace

COLORREF colorToRgb(TColor color)
{
    if ((color & clSystemColor) == clSystemColor)
        return ::GetSysColor(color & 0xFF);
    return static_cast<COLORREF>(color) & 0xFFFFFF;
}

bool parseColor(std::wstring_view text, TColor& color)
{
    if (text.size() == 7 && text[0] == L'#') {
        int rgb[3];
        for (int i = 0; i < 3; ++i) {
            const int hi = hexDigit(text[1 + 2 * i]), lo = hexDigit(text[2 + 2 * i]);
            if (hi < 0 || lo < 0)
                return false;
            rgb[i] = hi * 16 + lo;
        }
        color = static_cast<TColor>(RGB(rgb[0], rgb[1], rgb[2]));
        return true;
    }
    for (const auto& named : kColorNames) {
        if (_wcsnicmp(named.name, text.data(), text.size()) == 0 && std::wcslen(named.name) == text.size()) {
            color = named.color;
            return true;
        }
    }
    return false;
}

double contrastRatio(COLORREF a, COLORREF b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

COLORREF readableHotLight(COLORREF hotLight, COLORREF background)
{
    return contrastRatio(hotLight, background) >= kReadableContrast ? hotLight : kReadableBlue;
}

COLORREF textColorOn(TColor color, COLORREF background)
{
    return color == clHotLight ? readableHotLight(colorToRgb(clHotLight), background) : colorToRgb(color);
}

TFont::TFont() = default;

TFont::TFont(const TFont& other)
    : name_(other.name_), height_(other.height_), color_(other.color_), style_(other.style_)
{
}

TFont& TFont::operator=(const TFont& other)
{
    assign(other);
    return *this;
}

void TFont::setName(std::wstring name)
{
    if (name == name_)
        return;
    name_ = std::move(name);
    changed();
}

void TFont::setHeight(int height)
{
    if (height == height_)
        return;
    height_ = height;
    changed();
}

int TFont::size() const { return -::MulDiv(height_, 72, kScreenDpi); }

void TFont::setSize(int points) { setHeight(-::MulDiv(points, kScreenDpi, 72)); }

void TFont::setColor(TColor color)
{
    if (color == color_)
        return;
    color_ = color;
    changed();
}

void TFont::setStyle(unsigned style)
{
    if (style == style_)
        return;
    style_ = style;
    changed();
}

int TFont::ascent() const
{
    const win::MemoryDc dc(::CreateCompatibleDC(nullptr));
    if (!dc)
        return 0;
    const win::SelectObjectScope select(dc.get(), handle());
    TEXTMETRICW metrics{};
    return ::GetTextMetricsW(dc.get(), &metrics) ? metrics.tmAscent : 0;
}

void TFont::assign(const TFont& other)
{
    if (&other == this)
        return;
    name_ = other.name_;
    height_ = other.height_;
    color_ = other.color_;
    style_ = other.style_;
    changed();
}

HFONT TFont::handle() const
{
    if (!handle_)
        handle_.reset(create(kScreenDpi));
    return handle_.get();
}

HFONT TFont::handle(int dpi) const
{
    if (dpi == kScreenDpi)
        return handle();
    if (!scaledHandle_ || scaledDpi_ != dpi) {
        scaledHandle_.reset(create(dpi));
        scaledDpi_ = dpi;
    }
    return scaledHandle_.get();
}

HFONT TFont::create(int dpi) const
{
    LOGFONTW lf{};
    lf.lfHeight = ::MulDiv(height_, dpi, kScreenDpi);
    lf.lfWeight = (style_ & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (style_ & fsItalic) ? TRUE : FALSE;
    lf.lfUnderline = (style_ & fsUnderline) ? TRUE : FALSE;
    lf.lfStrikeOut = (style_ & fsStrikeOut) ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    wcsncpy_s(lf.lfFaceName, name_.c_str(), _TRUNCATE);
    return ::CreateFontIndirectW(&lf);
}

void TFont::changed()
{
    handle_.reset();
    scaledHandle_.reset();
    if (onChange)
        onChange();
}
