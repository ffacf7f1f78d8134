#include "Removal.h"

#include "Handles.h"
#include "Paths.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <string_view>
#include <vector>

namespace {

// The shell's special folders, per user and for all users.
constexpr int kSpecialFolders[] = {
    CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROFILE,
    CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_MYPICTURES, CSIDL_MYMUSIC, CSIDL_MYVIDEO,
    CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA,
    CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86,
    CSIDL_STARTMENU, CSIDL_PROGRAMS, CSIDL_STARTUP,
    CSIDL_COMMON_STARTMENU, CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_STARTUP,
    CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_DOCUMENTS, CSIDL_COMMON_PICTURES, CSIDL_COMMON_MUSIC,
    CSIDL_COMMON_VIDEO,
};
// A 32-bit program on 64-bit Windows learns the 64-bit program folders only
// from these variables.
constexpr const wchar_t* kProgramFolderVariables[] = {L"ProgramW6432", L"CommonProgramW6432"};

constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";

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

// PATH comes without trailing separators: "C:" and "\\server\share" are
// roots, and so is what lies above a share ("\\server").
bool isDriveRoot(const std::wstring& path)
{
    const std::wstring root = volumeRoot(path);
    if (!root.empty())
        return path.size() < root.size();
    return (path.size() == 2 && path[1] == L':') ||
           (path.size() > 2 && isSeparator(path[0]) && isSeparator(path[1]));
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

// Where an existing folder really is once links and junctions are followed;
// "" when it cannot be opened.
std::wstring finalPath(const std::wstring& folder)
{
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const win::FileHandle handle(
        ::CreateFileW(folder.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle)
        return {};
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = ::GetFinalPathNameByHandleW(handle.get(), path.data(), static_cast<DWORD>(path.size()), 0);
    if (n >= path.size()) {
        path.resize(n);
        n = ::GetFinalPathNameByHandleW(handle.get(), path.data(), static_cast<DWORD>(path.size()), 0);
    }
    if (n == 0 || n >= path.size())
        return {};
    path.resize(n);
    if (path.starts_with(kLongUncPrefix))
        path = L"\\\\" + path.substr(std::size(kLongUncPrefix) - 1);
    else if (path.starts_with(kLongPrefix))
        path.erase(0, std::size(kLongPrefix) - 1);
    return normalize(path);
}

// The folder as named and, when that differs, where it really is.
void addForms(std::vector<std::wstring>& forms, const std::wstring& folder)
{
    const std::wstring normalized = normalize(folder);
    if (normalized.empty())
        return;
    forms.push_back(normalized);
    const std::wstring real = finalPath(normalized);
    if (!real.empty() && !sameText(real, normalized))
        forms.push_back(real);
}

std::vector<std::wstring> protectedFolders()
{
    std::vector<std::wstring> folders;
    wchar_t path[MAX_PATH + 1] = {};
    for (int csidl : kSpecialFolders) {
        path[0] = L'\0';
        if (SUCCEEDED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
            addForms(folders, path);
    }
    // Downloads has no CSIDL.
    wchar_t* downloads = nullptr;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &downloads)))
        addForms(folders, downloads);
    ::CoTaskMemFree(downloads);

    for (const wchar_t* variable : kProgramFolderVariables) {
        const DWORD length = ::GetEnvironmentVariableW(variable, path, MAX_PATH + 1);
        if (length > 0 && length <= MAX_PATH)
            addForms(folders, path);
    }
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, path);
    if (n > 0 && n <= MAX_PATH)
        addForms(folders, path);
    return folders;
}

} // namespace

bool isProtectedFolder(const std::wstring& folder)
{
    std::vector<std::wstring> forms;
    addForms(forms, folder);
    if (forms.empty())
        return true;
    const std::vector<std::wstring> specials = protectedFolders();
    for (const std::wstring& form : forms) {
        if (isDriveRoot(form))
            return true;
        for (const std::wstring& special : specials)
            if (equalOrAbove(form, special))
                return true;
    }
    return false;
}
