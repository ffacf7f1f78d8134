#include "installer/InstallDir.h"

#include "system/ComPtr.h"

#include <shlobj.h>

#include <cwctype>
#include <memory>

namespace {

struct PidlFree {
    void operator()(ITEMIDLIST* pidl) const { ::CoTaskMemFree(pidl); }
};

} // namespace

std::wstring joinInstallDir(const std::wstring& folder, const std::wstring& programDirName)
{
    if (!folder.empty() && folder.back() == L'\\')
        return folder + programDirName;
    return folder + L"\\" + programDirName;
}

std::wstring installVolume(const std::wstring& dir)
{
    const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    if (dir.size() >= 2 && dir[1] == L':' && std::iswalpha(dir[0]))
        return dir.substr(0, 2) + L"\\";
    // A network path: its free space is that of the share, "\\server" alone
    // is no volume.
    if (dir.size() > 2 && separator(dir[0]) && separator(dir[1])) {
        const size_t server = dir.find_first_of(L"\\/", 2);
        if (server == std::wstring::npos || server == 2)
            return {};
        const size_t share = dir.find_first_of(L"\\/", server + 1);
        if (share == server + 1)
            return {};
        return dir.substr(0, share) + L"\\";
    }
    return {};
}

bool browseForFolder(HWND owner, const std::wstring& prompt, std::wstring& folder)
{
    // The new-style dialog is an OLE control: it needs an apartment.
    const win::ComInit com;
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = prompt.c_str();
    info.ulFlags = BIF_NEWDIALOGSTYLE | BIF_RETURNONLYFSDIRS | BIF_NONEWFOLDERBUTTON;
    const std::unique_ptr<ITEMIDLIST, PidlFree> chosen(::SHBrowseForFolderW(&info));
    if (!chosen)
        return false;
    wchar_t path[MAX_PATH] = {};
    if (!::SHGetPathFromIDListW(chosen.get(), path))
        return false;
    folder = path;
    return true;
}
