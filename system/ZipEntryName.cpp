#include "system/ZipEntryName.h"

#include "system/Paths.h"

#include <algorithm>
#include <array>
#include <cwctype>
#include <string_view>
#include <vector>

namespace {

constexpr std::wstring_view kForbiddenChars = L"<>:\"|?*";
// Windows treats COM and LPT followed by any digit as a device, the digits
// 0 and the superscripts 1, 2 and 3 (U+00B9, U+00B2, U+00B3) included.
constexpr std::array<std::wstring_view, 32> kDeviceNames = {
    L"CON",       L"PRN",       L"AUX",       L"NUL",       L"CONIN$",    L"CONOUT$",   L"COM0",      L"COM1",
    L"COM2",      L"COM3",      L"COM4",      L"COM5",      L"COM6",      L"COM7",      L"COM8",      L"COM9",
    L"COM\u00B9", L"COM\u00B2", L"COM\u00B3", L"LPT0",      L"LPT1",      L"LPT2",      L"LPT3",      L"LPT4",
    L"LPT5",      L"LPT6",      L"LPT7",      L"LPT8",      L"LPT9",      L"LPT\u00B9", L"LPT\u00B2", L"LPT\u00B3"};


bool isDeviceName(std::wstring_view segment)
{
    std::wstring base(segment.substr(0, segment.find(L'.')));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    std::transform(base.begin(), base.end(), base.begin(), [](wchar_t c) { return std::towupper(c); });
    return std::find(kDeviceNames.begin(), kDeviceNames.end(), base) != kDeviceNames.end();
}

} // namespace

bool entryRelativePath(const std::wstring& name, std::wstring& relative)
{
    if (name.empty() || isSeparator(name.front()))
        return false;
    std::vector<std::wstring> segments;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !isSeparator(name[end]))
            ++end;
        const std::wstring segment = name.substr(start, end - start);
        start = end + 1;
        if (segment.empty() || segment == L".")
            continue;
        if (segment == L"..") {
            if (segments.empty())
                return false;
            segments.pop_back();
            continue;
        }
        // Windows drops trailing dots and spaces, so ".. " would climb too.
        if (segment.find_last_not_of(L". ") == std::wstring::npos)
            return false;
        if (segment.back() == L'.' || segment.back() == L' ')
            return false;
        if (std::any_of(segment.begin(), segment.end(),
                        [](wchar_t c) { return c < 0x20 || kForbiddenChars.find(c) != std::wstring_view::npos; }))
            return false;
        if (isDeviceName(segment))
            return false;
        segments.push_back(segment);
    }
    if (segments.empty())
        return false;
    relative.clear();
    for (const std::wstring& segment : segments) {
        if (!relative.empty())
            relative += L'\\';
        relative += segment;
    }
    if (isSeparator(name.back()))
        relative += L'\\';
    return true;
}
