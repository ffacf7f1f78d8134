#include "ui/PngImage.h"

#include "system/Handles.h"
#include "system/Resource.h"

#include <png.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Pictures larger than this are refused rather than decoded into gigabytes.
constexpr png_uint_32 kMaxSide = 8192;
// A PNG file larger than this is not read at all.
constexpr LONGLONG kMaxFileBytes = 64 << 20;

std::uint32_t premultiply(std::uint32_t bgra)
{
    const std::uint32_t a = bgra >> 24;
    if (a == 0xFF)
        return bgra;
    auto channel = [a](std::uint32_t c) { return (c * a + 127) / 255; };
    return (a << 24) | (channel((bgra >> 16) & 0xFF) << 16) | (channel((bgra >> 8) & 0xFF) << 8) |
           channel(bgra & 0xFF);
}

std::uint32_t unpremultiply(std::uint32_t argb)
{
    const std::uint32_t a = argb >> 24;
    if (a == 0xFF || a == 0)
        return a == 0 ? 0 : argb;
    auto channel = [a](std::uint32_t c) { return std::min<std::uint32_t>(255, (c * 255 + a / 2) / a); };
    return (a << 24) | (channel((argb >> 16) & 0xFF) << 16) | (channel((argb >> 8) & 0xFF) << 8) |
           channel(argb & 0xFF);
}

// Frees libpng's state on every path.
struct PngImage : png_image {
    PngImage()
        : png_image{}
    {
        version = PNG_IMAGE_VERSION;
    }
    ~PngImage() { png_image_free(this); }
};

// The size in the header of PNG bytes: the signature, then the IHDR chunk
// (13 bytes of data) with the width and the height, big-endian.
bool pngSize(std::span<const std::byte> bytes, png_uint_32& width, png_uint_32& height)
{
    static constexpr unsigned char kHead[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', // the signature
                                              0, 0, 0, 13, 'I', 'H', 'D', 'R'};          // the first chunk
    constexpr size_t kHeadSize = sizeof(kHead);
    if (bytes.size() < kHeadSize + 8 || std::memcmp(bytes.data(), kHead, kHeadSize) != 0)
        return false;
    const auto word = [&bytes](size_t at) {
        png_uint_32 value = 0;
        for (size_t i = at; i < at + 4; ++i)
            value = (value << 8) | std::to_integer<png_uint_32>(bytes[i]);
        return value;
    };
    width = word(kHeadSize);
    height = word(kHeadSize + 4);
    return width != 0 && height != 0 && width <= kMaxSide && height <= kMaxSide;
}

} // namespace

bool decodePng(std::span<const std::byte> bytes, TPicture& picture)
{
    if (bytes.empty())
        return false;
    PngImage image;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
        return false;
    if (image.width == 0 || image.height == 0 || image.width > kMaxSide || image.height > kMaxSide)
        return false;
    // BGRA in memory is 0xAARRGGBB read as a little-endian 32-bit value.
    image.format = PNG_FORMAT_BGRA;
    std::vector<std::uint32_t> pixels(static_cast<size_t>(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        return false;
    for (auto& p : pixels)
        p = premultiply(p);
    picture.setPixels(static_cast<int>(image.width), static_cast<int>(image.height), std::move(pixels));
    return true;
}

bool loadPngFile(TPicture& picture, const std::wstring& path)
{
    const win::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxFileBytes)
        return false;
    std::vector<std::byte> data(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!::ReadFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr) || read != data.size())
        return false;
    return decodePng(data, picture);
}

bool LoadPngResource(TPicture& picture, std::wstring_view name, std::wstring_view type)
{
    // The module's resources stay mapped as long as the program runs: the
    // pixels are decoded from there when the picture is first drawn.
    const std::span<const std::byte> bytes = ownResourceBytes(name, type);
    png_uint_32 width = 0, height = 0;
    if (!pngSize(bytes, width, height))
        return false;
    picture.setSource(static_cast<int>(width), static_cast<int>(height),
                      [bytes](TPicture& decoded) { return decodePng(bytes, decoded); });
    const std::wstring largeName = std::wstring(name) + kLargeArtSuffix;
    if (ownResourceExists(largeName, type))
        picture.setLargeSource([largeName, type = std::wstring(type)](TPicture& large) {
            return decodePng(ownResourceBytes(largeName, type), large);
        });
    return true;
}

bool savePngFile(const TPicture& picture, const std::wstring& path)
{
    if (picture.empty())
        return false;
    std::vector<std::uint32_t> pixels(picture.pixels());
    for (auto& p : pixels)
        p = unpremultiply(p);
    PngImage image;
    image.width = static_cast<png_uint_32>(picture.width());
    image.height = static_cast<png_uint_32>(picture.height());
    image.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr))
        return false;
    std::vector<char> data(size);
    if (!png_image_write_to_memory(&image, data.data(), &size, 0, pixels.data(), 0, nullptr))
        return false;
    const win::FileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.get(), data.data(), static_cast<DWORD>(size), &written, nullptr) &&
           written == size;
}
