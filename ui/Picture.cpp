#include "ui/Picture.h"

#include <algorithm>
#include <cstring>

HBITMAP createDibSection(int width, int height, std::uint32_t** bits)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* data = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &data, nullptr, 0);
    *bits = static_cast<std::uint32_t*>(data);
    return bitmap;
}

TPicture::TPicture(const TPicture& other) : width_(other.width_), height_(other.height_), pixels_(other.pixels_) {}

TPicture& TPicture::operator=(const TPicture& other)
{
    assign(other);
    return *this;
}

bool TPicture::transparent() const
{
    return std::any_of(pixels_.begin(), pixels_.end(), [](std::uint32_t p) { return (p >> 24) != 0xFF; });
}

void TPicture::setPixels(int width, int height, std::vector<std::uint32_t> pixels)
{
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * height) {
        clear();
        return;
    }
    width_ = width;
    height_ = height;
    pixels_ = std::move(pixels);
    changed();
}

void TPicture::assign(const TPicture& other)
{
    if (&other == this)
        return;
    width_ = other.width_;
    height_ = other.height_;
    pixels_ = other.pixels_;
    changed();
}

void TPicture::clear()
{
    width_ = height_ = 0;
    pixels_.clear();
    changed();
}

void TPicture::draw(HDC dc, const RECT& dest) const
{
    if (empty() || dest.right <= dest.left || dest.bottom <= dest.top)
        return;
    if (!bitmap_) {
        std::uint32_t* bits = nullptr;
        bitmap_.reset(createDibSection(width_, height_, &bits));
        if (!bitmap_)
            return;
        std::memcpy(bits, pixels_.data(), pixels_.size() * sizeof(std::uint32_t));
    }
    win::MemoryDc source(::CreateCompatibleDC(dc));
    if (!source)
        return;
    win::SelectObjectScope select(source.get(), bitmap_.get());
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    // gdi32's own entry: msimg32, which exports AlphaBlend, is no DLL that
    // Windows always takes from System32.
    ::GdiAlphaBlend(dc, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, source.get(), 0, 0,
                    width_, height_, blend);
}

void TPicture::changed()
{
    bitmap_.reset();
    if (onChange)
        onChange();
}

TDibSurface::TDibSurface(int width, int height) : width_(std::max(width, 1)), height_(std::max(height, 1))
{
    bitmap_.reset(createDibSection(width_, height_, &bits_));
    dc_.reset(::CreateCompatibleDC(nullptr));
    if (!bitmap_ || !dc_)
        throw std::bad_alloc();
    oldBitmap_ = ::SelectObject(dc_.get(), bitmap_.get());
}

TDibSurface::~TDibSurface() { ::SelectObject(dc_.get(), oldBitmap_); }

TPicture TDibSurface::toOpaquePicture() const
{
    std::vector<std::uint32_t> pixels(bits_, bits_ + static_cast<size_t>(width_) * height_);
    for (auto& p : pixels)
        p |= 0xFF000000u;
    TPicture picture;
    picture.setPixels(width_, height_, std::move(pixels));
    return picture;
}
