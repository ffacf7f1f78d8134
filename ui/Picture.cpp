#include "ui/Picture.h"

#include <algorithm>
#include <cmath>
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

TPicture::TPicture(const TPicture& other)
    : width_(other.width_), height_(other.height_), pixels_(other.pixels_), source_(other.source_), large_(other.large_)
{
}

TPicture& TPicture::operator=(const TPicture& other)
{
    assign(other);
    return *this;
}

bool TPicture::transparent() const
{
    const auto& all = pixels();
    return std::any_of(all.begin(), all.end(), [](std::uint32_t p) { return (p >> 24) != 0xFF; });
}

const std::vector<std::uint32_t>& TPicture::pixels() const
{
    if (source_) {
        pixels_ = decodedPixels(*source_, width_, height_);
        if (pixels_.empty())
            pixels_.assign(static_cast<size_t>(width_) * height_, 0);
        source_.reset();
    }
    return pixels_;
}

const std::vector<std::uint32_t>& TPicture::decodedPixels(Deferred& deferred, int width, int height)
{
    if (!deferred.decoded) {
        deferred.decoded = true;
        TPicture picture;
        if (deferred.decode(picture) && picture.width_ == width && picture.height_ == height) {
            picture.pixels();
            deferred.pixels = std::move(picture.pixels_);
        }
        deferred.decode = nullptr;
    }
    return deferred.pixels;
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
    source_.reset();
    large_.reset();
    changed();
}

void TPicture::setSource(int width, int height, std::function<bool(TPicture&)> decode)
{
    if (width <= 0 || height <= 0) {
        clear();
        return;
    }
    width_ = width;
    height_ = height;
    pixels_.clear();
    source_ = std::make_shared<Deferred>(Deferred{std::move(decode), false, {}});
    large_.reset();
    changed();
}

void TPicture::setLarge(const TPicture& large)
{
    if (empty() || large.width_ != 2 * width_ || large.height_ != 2 * height_)
        return;
    large_ = std::make_shared<Deferred>(Deferred{{}, true, large.pixels()});
    changed();
}

void TPicture::setLargeSource(std::function<bool(TPicture&)> decode)
{
    large_ = std::make_shared<Deferred>(Deferred{std::move(decode), false, {}});
    changed();
}

const std::vector<std::uint32_t>* TPicture::largePixels() const
{
    if (!large_)
        return nullptr;
    const auto& large = decodedPixels(*large_, 2 * width_, 2 * height_);
    return large.empty() ? nullptr : &large;
}

void TPicture::assign(const TPicture& other)
{
    if (&other == this)
        return;
    width_ = other.width_;
    height_ = other.height_;
    pixels_ = other.pixels_;
    source_ = other.source_;
    large_ = other.large_;
    changed();
}

void TPicture::clear()
{
    width_ = height_ = 0;
    pixels_.clear();
    source_.reset();
    large_.reset();
    changed();
}

namespace {

// One source pixel's share in a destination pixel.
struct Tap {
    int index;
    float weight;
};

// The taps of each destination pixel along one axis: a triangle filter as
// wide as a source pixel when enlarging (bilinear) and as a destination pixel
// when shrinking (averaging what it covers).
std::vector<std::vector<Tap>> filterTaps(int source, int dest)
{
    const double scale = static_cast<double>(source) / dest;
    const double support = std::max(1.0, scale);
    std::vector<std::vector<Tap>> taps(static_cast<size_t>(dest));
    for (int d = 0; d < dest; ++d) {
        const double centre = (d + 0.5) * scale - 0.5;
        const int first = std::max(0, static_cast<int>(std::floor(centre - support)) + 1);
        const int last = std::min(source - 1, static_cast<int>(std::ceil(centre + support)) - 1);
        float total = 0;
        for (int i = first; i <= last; ++i) {
            const auto w = static_cast<float>(1.0 - std::abs(i - centre) / support);
            if (w > 0) {
                taps[d].push_back({i, w});
                total += w;
            }
        }
        if (taps[d].empty())
            taps[d].push_back({std::clamp(static_cast<int>(std::lround(centre)), 0, source - 1), total = 1});
        for (auto& t : taps[d])
            t.weight /= total;
    }
    return taps;
}

// PIXELS (premultiplied, so the channels mix linearly) resampled to
// WIDTH x HEIGHT.
std::vector<std::uint32_t> resample(const std::vector<std::uint32_t>& pixels, int sw, int sh, int width, int height)
{
    const auto across = filterTaps(sw, width);
    const auto down = filterTaps(sh, height);
    // Rows first, into four float channels.
    std::vector<float> rows(static_cast<size_t>(width) * sh * 4);
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < width; ++x) {
            float* out = &rows[(static_cast<size_t>(y) * width + x) * 4];
            for (const Tap& t : across[x]) {
                const std::uint32_t p = pixels[static_cast<size_t>(y) * sw + t.index];
                for (int c = 0; c < 4; ++c)
                    out[c] += t.weight * static_cast<float>((p >> (8 * c)) & 0xFF);
            }
        }
    std::vector<std::uint32_t> result(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float sum[4] = {0, 0, 0, 0};
            for (const Tap& t : down[y]) {
                const float* in = &rows[(static_cast<size_t>(t.index) * width + x) * 4];
                for (int c = 0; c < 4; ++c)
                    sum[c] += t.weight * in[c];
            }
            std::uint32_t p = 0;
            for (int c = 0; c < 4; ++c)
                p |= static_cast<std::uint32_t>(std::clamp(std::lround(sum[c]), 0L, 255L)) << (8 * c);
            result[static_cast<size_t>(y) * width + x] = p;
        }
    return result;
}

HBITMAP bitmapOf(const std::vector<std::uint32_t>& pixels, int width, int height)
{
    std::uint32_t* bits = nullptr;
    HBITMAP bitmap = createDibSection(width, height, &bits);
    if (bitmap)
        std::memcpy(bits, pixels.data(), pixels.size() * sizeof(std::uint32_t));
    return bitmap;
}

void blendOnto(HDC dc, const RECT& dest, HBITMAP bitmap, int width, int height)
{
    win::MemoryDc source(::CreateCompatibleDC(dc));
    if (!source)
        return;
    win::SelectObjectScope select(source.get(), bitmap);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    // gdi32's own entry: msimg32, which exports AlphaBlend, is no DLL that
    // Windows always takes from System32.
    ::GdiAlphaBlend(dc, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, source.get(), 0, 0,
                    width, height, blend);
}

} // namespace

void TPicture::draw(HDC dc, const RECT& dest) const
{
    if (empty() || dest.right <= dest.left || dest.bottom <= dest.top)
        return;
    // A form above 96 DPI paints through a scaling transform: the picture is
    // resampled to its size on the device (from the larger artwork where it
    // has some and is enlarged) and drawn pixel for pixel there (GDI's own
    // stretching picks pixels and looks coarse).
    XFORM scale;
    if (::GetGraphicsMode(dc) == GM_ADVANCED && ::GetWorldTransform(dc, &scale) &&
        (scale.eM11 != 1.0f || scale.eM22 != 1.0f)) {
        const RECT device{std::lround(dest.left * scale.eM11 + scale.eDx),
                          std::lround(dest.top * scale.eM22 + scale.eDy),
                          std::lround(dest.right * scale.eM11 + scale.eDx),
                          std::lround(dest.bottom * scale.eM22 + scale.eDy)};
        const int w = device.right - device.left, h = device.bottom - device.top;
        if (w <= 0 || h <= 0)
            return;
        if (!scaledBitmap_ || scaledWidth_ != w || scaledHeight_ != h) {
            const std::vector<std::uint32_t>* large = w > width_ || h > height_ ? largePixels() : nullptr;
            scaledBitmap_.reset(bitmapOf(large ? resample(*large, 2 * width_, 2 * height_, w, h)
                                               : resample(pixels(), width_, height_, w, h),
                                         w, h));
            scaledWidth_ = w;
            scaledHeight_ = h;
        }
        ::ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
        if (scaledBitmap_)
            blendOnto(dc, device, scaledBitmap_.get(), w, h);
        ::SetWorldTransform(dc, &scale);
        return;
    }
    if (!bitmap_)
        bitmap_.reset(bitmapOf(pixels(), width_, height_));
    if (bitmap_)
        blendOnto(dc, dest, bitmap_.get(), width_, height_);
}

void TPicture::changed()
{
    bitmap_.reset();
    scaledBitmap_.reset();
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
