#include "ui/StdCtrls.h"

#include "system/Handles.h"

TLabel::TLabel(TComponent* owner) : TControl(owner)
{
    setParentColor(true);
    // Sized first, then measured once: a label measures its text at every
    // change of its bounds while it sizes itself.
    setBounds(0, 0, 65, 17);
    setAutoSize(true);
}

const PropertyList& TLabel::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TControl::publishedProperties();
        l.boolean<TLabel>(L"WordWrap", &TLabel::wordWrap, &TLabel::setWordWrap);
        l.boolean<TLabel>(L"Transparent", &TLabel::transparent, &TLabel::setTransparent);
        l.enumeration<TLabel, TAlignment>(L"Alignment", {L"left", L"right", L"center"}, &TLabel::alignment,
                                          &TLabel::setAlignment);
        return l;
    }();
    return list;
}

void TLabel::setWordWrap(bool v)
{
    wordWrap_ = v;
    adjustSize();
    invalidate();
}

void TLabel::setTransparent(bool v)
{
    transparent_ = v;
    invalidate();
}

void TLabel::setAlignment(TAlignment v)
{
    alignment_ = v;
    invalidate();
}

UINT TLabel::textFlags() const
{
    UINT flags = prefixFlags() | DT_EXPANDTABS;
    if (wordWrap_)
        flags |= DT_WORDBREAK;
    if (alignment_ == TAlignment::taRightJustify)
        flags |= DT_RIGHT;
    else if (alignment_ == TAlignment::taCenter)
        flags |= DT_CENTER;
    return flags;
}

bool TLabel::canAutoSize(int& width, int& height)
{
    win::MemoryDc dc(::CreateCompatibleDC(nullptr));
    if (!dc)
        return false;
    win::SelectObjectScope select(dc.get(), font().handle());
    // An empty caption still takes the height of one line.
    const std::wstring text = caption().empty() ? L" " : caption();
    RECT r{0, 0, wordWrap_ ? width : 0, 0};
    ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &r, textFlags() | DT_CALCRECT);
    if (!wordWrap_)
        width = r.right - r.left;
    height = r.bottom - r.top;
    return true;
}

void TLabel::adjustSize()
{
    if (!autoSize() || loading())
        return;
    int w = width(), h = height();
    canAutoSize(w, h);
    // A right-aligned label keeps its right edge and grows to the left.
    const int newLeft = alignment_ == TAlignment::taRightJustify ? left() + width() - w : left();
    setBounds(newLeft, top(), w, h);
}

void TLabel::alignBaselineWith(const TLabel& other)
{
    setTop(other.top() + other.font().ascent() - font().ascent());
}

void TLabel::paint(HDC dc)
{
    RECT r{0, 0, width(), height()};
    // In a high-contrast theme text never lies on a picture: even a
    // transparent label fills its place.
    const bool contrast = highContrast();
    if (!transparent_ || contrast) {
        const win::Brush back(::CreateSolidBrush(backgroundColor(color())));
        ::FillRect(dc, &r, back.get());
    }
    win::SelectObjectScope select(dc, font().handle());
    ::SetBkMode(dc, TRANSPARENT);
    // A transparent label's text lies on its parent.
    const COLORREF background = colorToRgb(transparent_ && parent() ? parent()->color() : color());
    if (!enabled())
        ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
    else if (contrast)
        ::SetTextColor(dc, ::GetSysColor(accessibleKind() == TAccessibleKind::Link ? COLOR_HOTLIGHT : COLOR_WINDOWTEXT));
    else
        ::SetTextColor(dc, textColorOn(font().color(), background));
    // The form clips to the label's place (or lets a scaled one run over).
    ::DrawTextW(dc, caption().c_str(), static_cast<int>(caption().size()), &r,
                textFlags() | (overflowsWhenScaled() ? DT_NOCLIP : 0));
}

TLinkLabel::TLinkLabel(TComponent* owner) : TLabel(owner)
{
    setCursor(TCursor::crHandPoint);
    font().setColor(clHighlight);
}

const PropertyList& TLinkLabel::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TLabel::publishedProperties();
        l.string<TLinkLabel>(L"URL", &TLinkLabel::url, &TLinkLabel::setUrl);
        return l;
    }();
    return list;
}
