// A picture: 32-bit pixels with premultiplied alpha, drawn with GdiAlphaBlend.
#pragma once

#include "system/Handles.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TPicture {
public:
    TPicture() = default;
    // Copies the pixels only: the copy has no change listener.
    TPicture(const TPicture& other);
    TPicture& operator=(const TPicture& other);

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return width_ == 0; }
    // True when any pixel is not fully opaque.
    bool transparent() const;

    // PIXELS: WIDTH * HEIGHT values 0xAARRGGBB, colour already multiplied by alpha.
    void setPixels(int width, int height, std::vector<std::uint32_t> pixels);
    // A WIDTH x HEIGHT picture whose pixels DECODE gives only when they are
    // first needed (drawn or read): artwork that start-up does not show (a
    // button's hover and pressed looks, the pages not shown yet) costs
    // nothing before the window appears. Pixels that DECODE does not give at
    // that size leave the picture transparent.
    void setSource(int width, int height, std::function<bool(TPicture&)> decode);
    const std::vector<std::uint32_t>& pixels() const;
    void assign(const TPicture& other);
    void clear();

    // The same artwork drawn at twice the size (for 200 %): above 96 DPI the
    // picture is drawn from it instead of from its own pixels enlarged.
    // Ignored unless exactly twice as wide and as high; new pixels drop it.
    void setLarge(const TPicture& large);
    // The same, decoded by DECODE only when the picture is first drawn
    // enlarged: at 100 % the larger artwork costs nothing.
    void setLargeSource(std::function<bool(TPicture&)> decode);
    bool hasLarge() const { return large_ && (!large_->decoded || !large_->pixels.empty()); }

    // Draws the picture scaled into DEST, blended over what is there.
    void draw(HDC dc, const RECT& dest) const;

    std::function<void()> onChange;

private:
    void changed();
    // The larger artwork's pixels, decoded on first use; null when there are none.
    const std::vector<std::uint32_t>* largePixels() const;

    // Pixels to decode when first needed; shared by copies, so that they are
    // decoded once.
    struct Deferred {
        std::function<bool(TPicture&)> decode;
        bool decoded = false;
        std::vector<std::uint32_t> pixels;
    };
    // DEFERRED's pixels, decoded on the first call; empty unless its decoder
    // gave them at WIDTH x HEIGHT.
    static const std::vector<std::uint32_t>& decodedPixels(Deferred& deferred, int width, int height);

    int width_ = 0;
    int height_ = 0;
    // Filled from source_ when first needed.
    mutable std::vector<std::uint32_t> pixels_;
    mutable std::shared_ptr<Deferred> source_;
    std::shared_ptr<Deferred> large_;
    mutable win::Bitmap bitmap_;
    // The pixels resampled to the size last drawn at above 96 DPI.
    mutable win::Bitmap scaledBitmap_;
    mutable int scaledWidth_ = 0;
    mutable int scaledHeight_ = 0;
};

// A 32-bit top-down DIB section selected into its own memory DC: the back
// buffer of a form and the target of a form painted into a picture.
class TDibSurface {
public:
    TDibSurface(int width, int height);
    ~TDibSurface();
    TDibSurface(const TDibSurface&) = delete;
    TDibSurface& operator=(const TDibSurface&) = delete;

    HDC dc() const { return dc_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }
    std::uint32_t* bits() const { return bits_; }
    // The pixels as an opaque picture (GDI leaves the alpha byte undefined).
    TPicture toOpaquePicture() const;

private:
    int width_;
    int height_;
    std::uint32_t* bits_ = nullptr;
    win::Bitmap bitmap_;
    win::MemoryDc dc_;
    HGDIOBJ oldBitmap_ = nullptr;
};

HBITMAP createDibSection(int width, int height, std::uint32_t** bits);
