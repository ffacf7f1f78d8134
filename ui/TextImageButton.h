// TTextImageButton: a windowless button drawn from a picture per state
// (normal, hover, pressed, disabled), with an optional small icon at its left
// and a caption drawn over the picture.
#pragma once

#include "ui/Controls.h"
#include "ui/Picture.h"

class TTextImageButton : public TControl {
public:
    explicit TTextImageButton(TComponent* owner);
    std::wstring_view className() const override { return L"TTextImageButton"; }
    static const PropertyList& publishedProperties();
    const PropertyList& properties() const override { return publishedProperties(); }

    const TPicture& bitmap() const { return Bmp; }
    void setBitmap(const TPicture& picture);
    const TPicture& bitmapOver() const { return MOver; }
    void setBitmapOver(const TPicture& picture);
    const TPicture& bitmapDown() const { return MDown; }
    void setBitmapDown(const TPicture& picture);
    const TPicture& bitmapDisabled() const { return BmpDAble; }
    void setBitmapDisabled(const TPicture& picture);
    const TPicture& smallIcon() const { return FSmallIcon; }
    void setSmallIcon(const TPicture& picture);
    // The picture shown now.
    const TPicture& actualBitmap() const { return ActualBmp; }

    bool proportional() const { return FProportional; }
    void setProportional(bool value);
    bool stretch() const { return FStretch; }
    void setStretch(bool value);
    int spacing() const { return FSpacing; }
    void setSpacing(int value);

    // Where the shown picture is drawn inside the button: always centred;
    // shrunk keeping its aspect (Proportional, when it does not fit) or
    // stretched (Stretch); otherwise at its own size, clipped.
    RECT CalcImageRect() const;
    // Where the caption is drawn (measured with the button's font).
    RECT captionRect(HDC dc) const;

    void paint(HDC dc) override;

protected:
    void click() override;
    void mouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void mouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void mouseEnter() override;
    void mouseLeave() override;
    bool canAutoSize(int& width, int& height) override;

private:
    void showPicture(const TPicture& picture);
    void PictureLayoutChanged();

    TPicture MOver;
    TPicture MDown;
    TPicture Bmp;
    TPicture ActualBmp;
    TPicture BmpDAble;
    TPicture FSmallIcon;
    int FSpacing = 4;
    bool FStretch = false;
    bool FProportional = false;
    bool FDrawing = false;
};
