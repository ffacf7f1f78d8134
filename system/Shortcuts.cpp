#include "Shortcuts.h"

#include "ComPtr.h"
#include "Removal.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <string_view>

namespace {

constexpr wchar_t kLinkExtension[] = L".lnk";
constexpr wchar_t kPinVerb[] = L"taskbarpin";
// Characters that cannot appear in a file name.
constexpr wchar_t kBadNameCharacters[] = L"\\/:*?\"<>|";

std::wstring specialFolder(int csidl)
{
    wchar_t path[MAX_PATH + 1] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    return path;
}

size_t lastSeparator(const std::wstring& path) { return path.find_last_of(L"\\/"); }

std::wstring folderWithSeparator(const std::wstring& path)
{
    const size_t at = lastSeparator(path);
    return at == std::wstring::npos ? std::wstring() : path.substr(0, at + 1);
}

std::wstring shortcutName(const std::wstring& exePath, const std::wstring& name)
{
    if (!name.empty())
        return name;
    const size_t at = lastSeparator(exePath);
    std::wstring file = at == std::wstring::npos ? exePath : exePath.substr(at + 1);
    const size_t dot = file.find_last_of(L'.');
    return dot == std::wstring::npos ? file : file.substr(0, dot);
}

// One plain file name, so that the shortcut stays in its folder.
bool isPlainName(std::wstring_view name)
{
    return !name.empty() && name != L"." && name != L".." &&
           name.find_first_of(kBadNameCharacters) == std::wstring_view::npos && name.back() != L' ' &&
           std::none_of(name.begin(), name.end(), [](wchar_t c) { return c < L' '; });
}

// One or more plain names separated by backslashes.
bool isRelativeFolder(std::wstring_view folder)
{
    for (size_t start = 0;;) {
        const size_t end = folder.find(L'\\', start);
        if (!isPlainName(folder.substr(start, end == std::wstring_view::npos ? end : end - start)))
            return false;
        if (end == std::wstring_view::npos)
            return true;
        start = end + 1;
    }
}

bool fileExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// False with LASTERROR as the thread's last error.
bool failWith(DWORD lastError)
{
    ::SetLastError(lastError);
    return false;
}

// The shell's HRESULT goes into the last error as it is: the system's
// message table knows the HRESULTs of failed file operations.
bool saveLink(const std::wstring& exePath, const std::wstring& linkPath)
{
    const win::ComInit com;
    win::ComPtr<IShellLinkW> link;
    HRESULT result =
        ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.putVoid());
    if (FAILED(result) || FAILED(result = link->SetPath(exePath.c_str())) ||
        FAILED(result = link->SetWorkingDirectory(folderWithSeparator(exePath).c_str())))
        return failWith(static_cast<DWORD>(result));
    const auto file = link.as<IPersistFile>(IID_IPersistFile);
    if (!file)
        return failWith(static_cast<DWORD>(E_NOINTERFACE));
    result = file->Save(linkPath.c_str(), FALSE);
    return SUCCEEDED(result) || failWith(static_cast<DWORD>(result));
}

// A missing shortcut is no failure.
bool deleteShortcut(const std::wstring& path)
{
    if (path.empty() || ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    return deleteFileForce(path);
}

} // namespace

std::wstring desktopShortcutPath(const std::wstring& exePath, const std::wstring& name)
{
    const std::wstring shortcut = shortcutName(exePath, name);
    const std::wstring desktop = specialFolder(CSIDL_DESKTOP);
    if (desktop.empty() || !isPlainName(shortcut))
        return {};
    return desktop + L"/" + shortcut + kLinkExtension;
}

std::wstring startMenuShortcutPath(const std::wstring& exePath, const std::wstring& folderName,
                                   const std::wstring& name)
{
    const std::wstring shortcut = shortcutName(exePath, name);
    const std::wstring programs = specialFolder(CSIDL_PROGRAMS);
    if (programs.empty() || !isPlainName(shortcut) || (!folderName.empty() && !isRelativeFolder(folderName)))
        return {};
    const std::wstring folder = folderName.empty() ? programs : programs + L"\\" + folderName;
    return folder + L"\\" + shortcut + kLinkExtension;
}

bool createDesktopShortcut(const std::wstring& exePath, const std::wstring& name, std::wstring& shortcutPath)
{
    if (!fileExists(exePath))
        return failWith(ERROR_FILE_NOT_FOUND);
    const std::wstring path = desktopShortcutPath(exePath, name);
    if (path.empty())
        return failWith(ERROR_INVALID_NAME);
    if (!saveLink(exePath, path))
        return false;
    shortcutPath = path;
    return true;
}

bool createStartMenuShortcut(const std::wstring& exePath, const std::wstring& folderName, const std::wstring& name)
{
    if (!fileExists(exePath))
        return failWith(ERROR_FILE_NOT_FOUND);
    const std::wstring path = startMenuShortcutPath(exePath, folderName, name);
    if (path.empty())
        return failWith(ERROR_INVALID_NAME);
    const std::wstring folder = folderWithSeparator(path);
    const int made = ::SHCreateDirectoryExW(nullptr, folder.substr(0, folder.size() - 1).c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS)
        return failWith(static_cast<DWORD>(made));
    return saveLink(exePath, path);
}

bool pinToTaskbar(const std::wstring& shortcutPath)
{
    if (shortcutPath.empty())
        return true;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // No error box where the shell has no such verb.
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = kPinVerb;
    info.lpFile = shortcutPath.c_str();
    info.nShow = SW_HIDE;
    return ::ShellExecuteExW(&info) != FALSE;
}

bool deleteDesktopShortcut(const std::wstring& exePath, const std::wstring& name)
{
    return deleteShortcut(desktopShortcutPath(exePath, name));
}

bool deleteStartMenuShortcut(const std::wstring& exePath, const std::wstring& folderName, const std::wstring& name)
{
    return deleteShortcut(startMenuShortcutPath(exePath, folderName, name));
}
