#include "ui/StdCtrls.h"

RECT fitPicture(int w, int h, int cw, int ch, bool stretch, bool proportional, bool center)
{
    if (stretch || (proportional && (cw < w || ch < h))) {
        if (proportional && w > 0 && h > 0) {
            const double ratio = static_cast<double>(w) / h;
            if (w > h) {
                w = cw;
                h = static_cast<int>(cw / ratio);
                if (h > ch) {
                    h = ch;
                    w = static_cast<int>(ch * ratio);
                }
            } else {
                h = ch;
                w = static_cast<int>(ch * ratio);
                if (w > cw) {
                    w = cw;
                    h = static_cast<int>(cw / ratio);
                }
            }
        } else {
            w = cw;
            h = ch;
        }
    }
    const int x = center ? (cw - w) / 2 : 0;
    const int y = center ? (ch - h) / 2 : 0;
    return {x, y, x + w, y + h};
}

TImage::TImage(TComponent* owner) : TControl(owner)
{
    picture_.onChange = [this] { pictureChanged(); };
    setBounds(0, 0, 105, 105);
}

const PropertyList& TImage::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TControl::publishedProperties();
        l.picture<TImage>(L"Picture", static_cast<const TPicture& (TImage::*)() const>(&TImage::picture),
                          &TImage::setPicture);
        l.boolean<TImage>(L"Stretch", &TImage::stretch, &TImage::setStretch);
        l.boolean<TImage>(L"Proportional", &TImage::proportional, &TImage::setProportional);
        l.boolean<TImage>(L"Center", &TImage::center, &TImage::setCenter);
        l.boolean<TImage>(L"Transparent", &TImage::transparent, &TImage::setTransparent);
        return l;
    }();
    return list;
}

void TImage::setStretch(bool v)
{
    stretch_ = v;
    invalidate();
}

void TImage::setProportional(bool v)
{
    proportional_ = v;
    invalidate();
}

void TImage::setCenter(bool v)
{
    center_ = v;
    invalidate();
}

void TImage::setTransparent(bool v)
{
    transparent_ = v;
    invalidate();
}

bool TImage::canAutoSize(int& width, int& height)
{
    if (picture_.empty())
        return false;
    width = picture_.width();
    height = picture_.height();
    return true;
}

void TImage::pictureChanged()
{
    adjustSize();
    invalidate();
}

void TImage::paint(HDC dc)
{
    picture_.draw(dc, fitPicture(picture_.width(), picture_.height(), width(), height(), stretch_, proportional_,
                                 center_));
}
