#include "ui/ImgBtn.h"

namespace {

constexpr int kFlashIntervalMs = 500;

} // namespace

TImgBtn::TImgBtn(TComponent* owner) : TImage(owner), FFlashTimer(new TTimer(this))
{
    FFlashTimer->setEnabled(false);
    FFlashTimer->setInterval(kFlashIntervalMs);
    FFlashTimer->OnTimer = [this](TComponent* sender) { FlashTick(sender); };
}

const PropertyList& TImgBtn::publishedProperties()
{
    static const PropertyList list = [] {
        PropertyList l = TImage::publishedProperties();
        l.picture<TImgBtn>(L"Pic", &TImgBtn::pic, &TImgBtn::setPic);
        l.picture<TImgBtn>(L"PicDown", &TImgBtn::picDown, &TImgBtn::setPicDown);
        l.picture<TImgBtn>(L"PicUp", &TImgBtn::picUp, &TImgBtn::setPicUp);
        l.picture<TImgBtn>(L"PicDisabled", &TImgBtn::picDisabled, &TImgBtn::setPicDisabled);
        l.boolean<TImgBtn>(L"Supported", &TImgBtn::supported, &TImgBtn::setSupported);
        l.boolean<TImgBtn>(L"Flashed", &TImgBtn::flashed, &TImgBtn::setFlashed);
        l.event(L"OnMouseEnter", &TImgBtn::OnMouseEnter);
        l.event(L"OnMouseLeave", &TImgBtn::OnMouseLeave);
        l.event(L"OnMouseDown", &TImgBtn::OnMouseDown);
        l.event(L"OnMouseUp", &TImgBtn::OnMouseUp);
        return l;
    }();
    return list;
}

void TImgBtn::setPic(const TPicture& picture)
{
    setPicture(picture);
    FPic.assign(picture);
}

void TImgBtn::setFlashed(bool value)
{
    FFlashed = value;
    FFlashTimer->setEnabled(value);
}

void TImgBtn::setEnabled(bool value)
{
    setPicture(value || FPicDisabled.empty() ? FPic : FPicDisabled);
    FDown = false;
    FEntered = false;
    repaint();
    TImage::setEnabled(value);
}

void TImgBtn::dispatchMouse(TMessage& message)
{
    TImage::dispatchMouse(message);
    if (!FSupported)
        return;
    switch (message.Msg) {
    case CM_MOUSEENTER:
        FEntered = true;
        if (FPic.width() > 0)
            setPicture(FDown ? FPicDown : FPicUp);
        if (OnMouseEnter)
            OnMouseEnter(this, message);
        break;
    case CM_MOUSELEAVE:
        FEntered = false;
        if (FPic.width() > 0)
            setPicture(FPic);
        if (OnMouseLeave)
            OnMouseLeave(this, message);
        break;
    case WM_LBUTTONDOWN:
        FDown = true;
        if (FEntered && FPicDown.width() > 0)
            setPicture(FPicDown);
        if (OnMouseDown)
            OnMouseDown(this, message);
        break;
    case WM_LBUTTONUP:
        FDown = false;
        if (FEntered && FPicUp.width() > 0)
            setPicture(FPicUp);
        if (OnMouseUp)
            OnMouseUp(this, message);
        break;
    default:
        break;
    }
}

void TImgBtn::FlashTick(TComponent*)
{
    if (FDown)
        return;
    ++FFlashTimes;
    setPicture(FFlashTimes % 2 == 1 ? FPicUp : FPicDown);
}
