#include "util.h"

#include "Encoding.h"
#include "Resource.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <stdexcept>

namespace {

constexpr char kNoAppDataDir[] = "Error get getSysAppDataDir";

// Calls FILL(buffer, capacity) -> length until the buffer was big enough.
template <typename Fill>
std::wstring systemString(DWORD capacity, Fill fill)
{
    std::wstring buffer(capacity, L'\0');
    for (;;) {
        const DWORD n = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring exePath()
{
    return systemString(MAX_PATH, [](wchar_t* buf, DWORD size) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf, size);
        return n == size ? size : n; // a full buffer means it was cut
    });
}

std::wstring specialFolder(int csidl)
{
    wchar_t path[MAX_PATH + 1] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path)) ||
        path[0] == L'\0')
        throw std::runtime_error(kNoAppDataDir);
    return path;
}

std::wstring upper(std::wstring_view text)
{
    std::wstring out(text);
    if (!out.empty())
        ::CharUpperBuffW(out.data(), static_cast<DWORD>(out.size()));
    return out;
}

void appendLines(std::wstring_view text, std::wstring& out)
{
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of(L"\r\n", pos);
        if (end == std::wstring_view::npos)
            end = text.size();
        out.append(text.substr(pos, end - pos)).append(L"\r\n");
        pos = end;
        if (pos < text.size() && text[pos] == L'\r')
            ++pos;
        if (pos < text.size() && text[pos] == L'\n')
            ++pos;
    }
}

std::wstring decodeResource(std::string_view bytes, bool utf8)
{
    constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
    if (bytes.starts_with(kUtf8Bom))
        return win::fromUtf8(bytes.substr(kUtf8Bom.size()));
    if (utf8)
        return win::fromUtf8(bytes);
    const bool le = bytes.starts_with("\xFF\xFE");
    if (le || bytes.starts_with("\xFE\xFF")) {
        std::wstring out;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const auto lo = static_cast<unsigned char>(bytes[le ? i : i + 1]);
            const auto hi = static_cast<unsigned char>(bytes[le ? i + 1 : i]);
            out.push_back(static_cast<wchar_t>(lo | (hi << 8)));
        }
        return out;
    }
    return win::fromAnsi(bytes);
}

} // namespace

std::wstring getTempDir()
{
    return systemString(MAX_PATH + 1, [](wchar_t* buf, DWORD size) {
        const DWORD n = ::GetTempPathW(size, buf);
        return n > size ? size : n; // too small: the answer is the size needed
    });
}

std::wstring getSystemDir()
{
    std::wstring folder = systemString(MAX_PATH, [](wchar_t* buf, DWORD size) {
        const DWORD n = ::GetSystemDirectoryW(buf, size);
        return n > size ? size : n;
    });
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    return folder;
}

std::wstring getExeDir()
{
    const std::wstring path = exePath();
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring getExeFileName()
{
    const std::wstring path = exePath();
    return path.substr(path.find_last_of(L"\\/") + 1);
}

std::wstring getAppDataDir() { return specialFolder(CSIDL_APPDATA); }
std::wstring getLocalAppDataDir() { return specialFolder(CSIDL_LOCAL_APPDATA); }

std::wstring newCompactGuid()
{
    GUID guid{};
    ::CoCreateGuid(&guid);
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    std::wstring compact(text);
    std::erase_if(compact, [](wchar_t c) { return c == L'}' || c == L'{' || c == L'-'; });
    return compact;
}

bool getDiskFreeMB(const std::wstring& drive, int& mb)
{
    ULARGE_INTEGER available{}, total{};
    if (!::GetDiskFreeSpaceExW(drive.c_str(), &available, &total, nullptr))
        return false;
    mb = static_cast<int>(available.QuadPart / 1024 / 1024);
    return true;
}

int randomBelow(int n)
{
    static std::mt19937 generator(
        static_cast<unsigned>(std::chrono::system_clock::now().time_since_epoch().count()));
    return std::uniform_int_distribution<int>(0, n - 1)(generator);
}

bool copyFileOverwrite(const std::wstring& source, const std::wstring& target)
{
    return ::CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE;
}

bool loadResourceText(std::wstring_view name, std::wstring_view type, bool utf8, std::wstring& text)
{
    if (!ownResourceExists(name, type))
        return false;
    const auto bytes = ownResourceBytes(name, type);
    text.clear();
    appendLines(decodeResource({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, utf8), text);
    return true;
}

std::wstring replaceText(std::wstring_view text, std::wstring_view old, std::wstring_view replacement,
                         bool caseSensitive)
{
    if (old.empty())
        return std::wstring(text);
    // Upper-casing keeps every character's position, so matches found in the
    // upper-cased copy are matches in the text.
    const std::wstring hayUpper = caseSensitive ? std::wstring() : upper(text);
    const std::wstring oldUpper = caseSensitive ? std::wstring() : upper(old);
    const std::wstring_view hay = caseSensitive ? text : std::wstring_view(hayUpper);
    const std::wstring_view needle = caseSensitive ? old : std::wstring_view(oldUpper);

    std::wstring out;
    size_t pos = 0;
    for (size_t hit; (hit = hay.find(needle, pos)) != std::wstring_view::npos; pos = hit + needle.size())
        out.append(text.substr(pos, hit - pos)).append(replacement);
    out.append(text.substr(pos));
    return out;
}

void splitToList(std::vector<std::wstring>& list, std::wstring_view text, wchar_t separator)
{
    if (text.empty())
        return;
    list.clear();
    std::wstring rest(text);
    std::erase(rest, L'*');
    for (size_t at; (at = rest.find(separator)) != std::wstring::npos; rest.erase(0, at + 1))
        list.push_back(rest.substr(0, at));
    list.push_back(rest);
}

void splitAtFirst(std::wstring_view text, wchar_t separator, std::wstring& before, std::wstring& after)
{
    const size_t at = text.find(separator);
    before = text.substr(0, at);
    after = at == std::wstring_view::npos ? std::wstring() : std::wstring(text.substr(at + 1));
}

std::wstring dropLast(std::wstring_view text, size_t n)
{
    return std::wstring(text.substr(0, n >= text.size() ? 0 : text.size() - n));
}

std::wstring lastChar(std::wstring_view text) { return std::wstring(text.substr(text.size() - 1)); }

bool containsText(std::wstring_view needle, std::wstring_view text)
{
    return text.find(needle) != std::wstring_view::npos;
}
