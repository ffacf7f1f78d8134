#include "Removal.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <string_view>
#include <vector>

namespace {

// The shell's special folders, per user and for all users.
constexpr int kSpecialFolders[] = {
    CSIDL_PROFILE,           CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL,       CSIDL_MYPICTURES,
    CSIDL_MYMUSIC,           CSIDL_MYVIDEO,          CSIDL_APPDATA,        CSIDL_LOCAL_APPDATA,
    CSIDL_PROGRAM_FILES,     CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86,
    CSIDL_COMMON_APPDATA,    CSIDL_STARTMENU,        CSIDL_PROGRAMS,       CSIDL_STARTUP,
    CSIDL_COMMON_STARTMENU,  CSIDL_COMMON_PROGRAMS,  CSIDL_COMMON_STARTUP, CSIDL_COMMON_DESKTOPDIRECTORY,
    CSIDL_COMMON_DOCUMENTS,  CSIDL_COMMON_PICTURES,  CSIDL_COMMON_MUSIC,   CSIDL_COMMON_VIDEO,
    CSIDL_WINDOWS,           CSIDL_SYSTEM,           CSIDL_SYSTEMX86,
};

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The absolute, long-name form of PATH without trailing separators ("C:" for
// a drive root); "" when the system cannot make one.
std::wstring normalize(const std::wstring& path)
{
    if (path.empty())
        return {};
    std::wstring full(MAX_PATH, L'\0');
    DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.resize(n);
        n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (n == 0 || n >= full.size())
        return {};
    full.resize(n);
    // Short (8.3) names and the long names must compare equal.
    const DWORD longSize = ::GetLongPathNameW(full.c_str(), nullptr, 0);
    if (longSize > 0) {
        std::wstring longName(longSize, L'\0');
        const DWORD m = ::GetLongPathNameW(full.c_str(), longName.data(), longSize);
        if (m > 0 && m < longSize) {
            longName.resize(m);
            full = std::move(longName);
        }
    }
    while (!full.empty() && isSeparator(full.back()))
        full.pop_back();
    return full;
}

bool isDriveRoot(std::wstring_view path)
{
    if (path.size() == 2 && path[1] == L':')
        return true;
    // "\\server\share" is the root of a network drive.
    if (path.size() > 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        int separators = 0;
        for (wchar_t c : path.substr(2))
            separators += isSeparator(c) ? 1 : 0;
        return separators <= 1;
    }
    return false;
}

bool sameText(std::wstring_view a, std::wstring_view b)
{
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// True when FOLDER is SPECIAL or lies above it.
bool equalOrAbove(std::wstring_view folder, std::wstring_view special)
{
    if (special.size() < folder.size() || !sameText(special.substr(0, folder.size()), folder))
        return false;
    return special.size() == folder.size() || isSeparator(special[folder.size()]);
}

void addFolder(std::vector<std::wstring>& folders, const std::wstring& path)
{
    const std::wstring normalized = normalize(path);
    if (!normalized.empty())
        folders.push_back(normalized);
}

std::vector<std::wstring> protectedFolders()
{
    std::vector<std::wstring> folders;
    wchar_t path[MAX_PATH + 1] = {};
    for (int csidl : kSpecialFolders) {
        path[0] = L'\0';
        if (SUCCEEDED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
            addFolder(folders, path);
    }
    // Downloads has no CSIDL.
    wchar_t* downloads = nullptr;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &downloads)))
        addFolder(folders, downloads);
    ::CoTaskMemFree(downloads);

    const DWORD n = ::GetTempPathW(MAX_PATH + 1, path);
    if (n > 0 && n <= MAX_PATH)
        addFolder(folders, path);
    return folders;
}

} // namespace

bool isProtectedFolder(const std::wstring& folder)
{
    const std::wstring normalized = normalize(folder);
    if (normalized.empty() || isDriveRoot(normalized))
        return true;
    for (const std::wstring& special : protectedFolders())
        if (equalOrAbove(normalized, special))
            return true;
    return false;
}
