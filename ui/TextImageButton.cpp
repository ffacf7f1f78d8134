#include "ui/TextImageButton.h"

#include "ui/StdCtrls.h"

#include "system/Handles.h"

TTextImageButton::TTextImageButton(TComponent* owner) : TControl(owner)
{
    setBounds(0, 0, 75, 25);
    setShowHint(true);
}

const PropertyList& TTextImageButton::publishedProperties()
{
    static const PropertyList list = [] {
        using B = TTextImageButton;
        PropertyList l = TControl::publishedProperties();
        l.picture<B>(L"BitmapOver", &B::bitmapOver, &B::setBitmapOver);
        l.picture<B>(L"BitmapDown", &B::bitmapDown, &B::setBitmapDown);
        l.picture<B>(L"BitmapDisabled", &B::bitmapDisabled, &B::setBitmapDisabled);
        l.picture<B>(L"Bitmap", &B::bitmap, &B::setBitmap);
        l.picture<B>(L"aSmallIcon", &B::smallIcon, &B::setSmallIcon);
        l.boolean<B>(L"Proportional", &B::proportional, &B::setProportional);
        l.boolean<B>(L"Stretch", &B::stretch, &B::setStretch);
        l.integer<B>(L"Spacing", &B::spacing, &B::setSpacing);
        return l;
    }();
    return list;
}

void TTextImageButton::setBitmap(const TPicture& picture)
{
    Bmp.assign(picture);
    ActualBmp.assign(picture);
    setBounds(left(), top(), Bmp.width(), Bmp.height());
    repaint();
}

void TTextImageButton::setBitmapOver(const TPicture& picture)
{
    MOver.assign(picture);
    repaint();
}

void TTextImageButton::setBitmapDown(const TPicture& picture)
{
    MDown.assign(picture);
    repaint();
}

void TTextImageButton::setBitmapDisabled(const TPicture& picture)
{
    BmpDAble.assign(picture);
    repaint();
}

void TTextImageButton::setSmallIcon(const TPicture& picture)
{
    FSmallIcon.assign(picture);
    repaint();
}

void TTextImageButton::setProportional(bool value)
{
    FProportional = value;
    PictureLayoutChanged();
}

void TTextImageButton::setStretch(bool value)
{
    if (value == FStretch)
        return;
    FStretch = value;
    PictureLayoutChanged();
}

void TTextImageButton::setSpacing(int value)
{
    FSpacing = value;
    invalidate();
}

bool TTextImageButton::canAutoSize(int& width, int& height)
{
    if (Bmp.width() > 0 && Bmp.height() > 0) {
        width = Bmp.width();
        height = Bmp.height();
    }
    return true;
}

RECT TTextImageButton::CalcImageRect() const
{
    return fitPicture(ActualBmp.width(), ActualBmp.height(), width(), height(), FStretch, FProportional, true);
}

void TTextImageButton::PictureLayoutChanged()
{
    if (autoSize() && ActualBmp.width() > 0 && ActualBmp.height() > 0)
        setBounds(left(), top(), ActualBmp.width(), ActualBmp.height());
    if (!FDrawing)
        invalidate();
}

RECT TTextImageButton::captionRect(HDC dc) const
{
    win::SelectObjectScope select(dc, font().handle());
    SIZE extent{0, 0};
    const std::wstring shown = displayCaption();
    ::GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &extent);
    const int y = (height() - extent.cy) / 2;
    int x = (width() - extent.cx) / 2;
    if (!FSmallIcon.empty() && x < FSmallIcon.width() + 16)
        x = FSmallIcon.width() + 16;
    return {x, y, x + extent.cx, y + extent.cy};
}

void TTextImageButton::paint(HDC dc)
{
    if (ActualBmp.width() == 0)
        ActualBmp.assign(Bmp);
    // No fill under the picture: where it is transparent (rounded corners)
    // whatever lies beneath shows, from the first paint on.
    FDrawing = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{FDrawing};

    // In a high-contrast theme a captioned button is drawn as the system's
    // buttons are: face, frame and text in its colours.
    const bool contrast = highContrast() && !caption().empty();
    if (contrast) {
        if (!enabled() && !BmpDAble.empty())
            setBounds(left(), top(), BmpDAble.width(), BmpDAble.height());
        const RECT face{0, 0, width(), height()};
        const win::Brush back(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE)));
        ::FillRect(dc, &face, back.get());
        const win::Brush frame(::CreateSolidBrush(::GetSysColor(COLOR_BTNTEXT)));
        ::FrameRect(dc, &face, frame.get());
    } else if (enabled() || BmpDAble.empty()) {
        ActualBmp.draw(dc, CalcImageRect());
        if (FSmallIcon.width() != 0) {
            const int y = std::max(0, (ActualBmp.height() - FSmallIcon.height()) / 2 + 1);
            FSmallIcon.draw(dc, {10, y, 10 + FSmallIcon.width(), y + FSmallIcon.height()});
        }
    } else {
        setBounds(left(), top(), BmpDAble.width(), BmpDAble.height());
        BmpDAble.draw(dc, {0, 0, BmpDAble.width(), BmpDAble.height()});
    }

    RECT text = captionRect(dc);
    if (!caption().empty()) {
        win::SelectObjectScope select(dc, font().handle());
        ::SetBkMode(dc, TRANSPARENT);
        if (contrast)
            ::SetTextColor(dc, ::GetSysColor(enabled() ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        else
            ::SetTextColor(dc, enabled() ? colorToRgb(font().color()) : RGB(0, 0, 0));
        ::DrawTextW(dc, caption().c_str(), static_cast<int>(caption().size()), &text,
                    DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOCLIP | prefixFlags());
    }
}

void TTextImageButton::showPicture(const TPicture& picture)
{
    ActualBmp.assign(picture);
    repaint();
}

// Every notification comes before the picture changes, so that a handler
// may change the font and the following paint uses it.
void TTextImageButton::mouseEnter()
{
    if (!enabled())
        return;
    if (OnMouseEnter)
        OnMouseEnter(this);
    if (MOver.width() >= 1)
        showPicture(MOver);
}

void TTextImageButton::mouseLeave()
{
    if (!enabled())
        return;
    if (OnMouseLeave)
        OnMouseLeave(this);
    if (Bmp.width() >= 1)
        showPicture(Bmp);
}

void TTextImageButton::mouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    if (button != TMouseButton::mbLeft || !enabled())
        return;
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
    if (MDown.width() > 0)
        showPicture(MDown);
}

void TTextImageButton::click()
{
    repaint();
    if (enabled() && OnClick)
        OnClick(this);
}

void TTextImageButton::mouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    if (button != TMouseButton::mbLeft || !enabled())
        return;
    if (OnMouseUp)
        OnMouseUp(this, button, shift, x, y);
    if (MOver.width() > 0)
        showPicture(MOver);
}
