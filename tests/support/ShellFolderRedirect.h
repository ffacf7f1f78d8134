// Points one of the current user's shell folders (a value name under "User
// Shell Folders", such as "Desktop") at another folder for the length of a
// test, so tests never write into, or risk, the real user folders.
#pragma once

#include "system/Handles.h"

#include <windows.h>

#include <optional>
#include <string>

class ShellFolderRedirect {
public:
    ShellFolderRedirect(std::wstring valueName, const std::wstring& folder) : name_(std::move(valueName))
    {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.put(), nullptr);
        wchar_t old[1024] = {};
        DWORD size = sizeof(old), type = 0;
        if (::RegQueryValueExW(key_.get(), name_.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(old), &size) ==
            ERROR_SUCCESS)
            old_ = old;
        set(folder);
    }
    ShellFolderRedirect(const ShellFolderRedirect&) = delete;
    ShellFolderRedirect& operator=(const ShellFolderRedirect&) = delete;
    ~ShellFolderRedirect()
    {
        if (old_)
            set(*old_);
        else
            ::RegDeleteValueW(key_.get(), name_.c_str());
    }

private:
    static constexpr wchar_t kKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

    void set(const std::wstring& folder)
    {
        ::RegSetValueExW(key_.get(), name_.c_str(), 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                         static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    }

    std::wstring name_;
    win::RegKey key_;
    std::optional<std::wstring> old_;
};
