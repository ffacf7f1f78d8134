#include "installer/InstallDir.h"

#include "system/ComPtr.h"

#include <shlobj.h>

#include <memory>

namespace {

struct PidlFree {
    void operator()(ITEMIDLIST* pidl) const { ::CoTaskMemFree(pidl); }
};

} // namespace

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
