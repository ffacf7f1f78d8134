// TImgBtn: a picture with a normal, a hover and a pressed picture, an
// optional disabled picture, and a flashing mode (hover and pressed pictures
// in turn every 500 ms).
#pragma once

#include "ui/Forms.h"
#include "ui/StdCtrls.h"

class TImgBtn : public TImage {
public:
    explicit TImgBtn(TComponent* owner);
    std::wstring_view className() const override { return L"TImgBtn"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }

    const TPicture& pic() const { return FPic; }
    void setPic(const TPicture& picture);
    const TPicture& picDown() const { return FPicDown; }
    void setPicDown(const TPicture& picture) { FPicDown.assign(picture); }
    const TPicture& picUp() const { return FPicUp; }
    void setPicUp(const TPicture& picture) { FPicUp.assign(picture); }
    const TPicture& picDisabled() const { return FPicDisabled; }
    void setPicDisabled(const TPicture& picture) { FPicDisabled.assign(picture); }
    bool supported() const { return FSupported; }
    void setSupported(bool value) { FSupported = value; }
    bool flashed() const { return FFlashed; }
    void setFlashed(bool value);
    int flashTimes() const { return FFlashTimes; }
    bool entered() const { return FEntered; }
    bool down() const { return FDown; }

    void setEnabled(bool value) override;
    void dispatchMouse(TMessage& message) override;

    TOnMouseEvent OnMouseEnter;
    TOnMouseEvent OnMouseLeave;
    TOnMouseEvent OnMouseDown;
    TOnMouseEvent OnMouseUp;

private:
    void FlashTick(TComponent* sender);

    bool FEntered = false;
    bool FDown = false;
    TPicture FPic;
    TPicture FPicDown;
    TPicture FPicUp;
    TPicture FPicDisabled;
    bool FSupported = true;
    bool FFlashed = false;
    TTimer* FFlashTimer;
    int FFlashTimes = 0;
};
