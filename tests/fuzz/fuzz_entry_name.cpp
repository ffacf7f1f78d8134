// Zip entry names (taken as UTF-16 units, as Windows sees them) turned into
// paths below the destination; a path that could leave it, or name a device
// or a stream, stops the run.
#include "system/ZipEntryName.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// What an accepted path must never hold.
bool safe(const std::wstring& path)
{
    if (path.empty() || isSeparator(path.front()))
        return false;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.size();
        const std::wstring segment = path.substr(start, end - start);
        if (segment.empty() || segment == L"." || segment == L"..")
            return false;
        if (segment.back() == L'.' || segment.back() == L' ')
            return false;
        for (const wchar_t c : segment)
            if (c < 0x20 || c == L'/' || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' ||
                c == L'>' || c == L'|')
                return false;
        start = end + 1;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::wstring name;
    for (size_t i = 0; i + 1 < size; i += 2)
        name += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    std::wstring relative;
    if (entryRelativePath(name, relative) && !safe(relative))
        std::abort();
    return 0;
}
