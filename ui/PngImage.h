// PNG pictures: decoded with libpng into premultiplied 32-bit pixels.
#pragma once

#include "system/Resource.h"
#include "ui/Picture.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

// Decodes PNG bytes; false (and PICTURE unchanged) for anything that is not a
// complete PNG image.
bool decodePng(std::span<const std::byte> bytes, TPicture& picture);
bool loadPngFile(TPicture& picture, const std::wstring& path);
// The name suffix of artwork drawn at twice the size for high DPI: a
// resource NAME_2x beside NAME (from NAME_2x.png).
constexpr wchar_t kLargeArtSuffix[] = L"_2x";
// The named resource of the program's own module, of type TYPE (normally
// "file"), as PICTURE, with NAME_2x as its larger version where the program
// has one. Only the size is read now, the pixels are decoded when first
// drawn (TPicture::setSource). A missing resource, or one that does not
// start as a PNG, leaves PICTURE as it was and answers false.
bool LoadPngResource(TPicture& picture, std::wstring_view name, std::wstring_view type);
// Hands the "file" picture resource NAME to APPLY when it exists and is a PNG;
// otherwise the picture already in place (the design's) stays.
template <class Apply>
void applyPictureResource(std::wstring_view name, Apply apply)
{
    TPicture picture;
    if (LoadPngResource(picture, name, kFileResourceType))
        apply(picture);
}
// Writes PICTURE as a PNG file (alpha kept); false on failure.
bool savePngFile(const TPicture& picture, const std::wstring& path);
