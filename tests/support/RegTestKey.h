// A registry key path unique to one test, deleted with everything below it,
// in both registry views, when the test ends.
#pragma once

#include "system/Handles.h"
#include "system/util.h"

#include <windows.h>

#include <string>

class RegTestKey {
public:
    explicit RegTestKey(HKEY root = HKEY_CURRENT_USER) : root_(root), leaf_(L"k" + newCompactGuid()) {}
    RegTestKey(const RegTestKey&) = delete;
    RegTestKey& operator=(const RegTestKey&) = delete;
    ~RegTestKey()
    {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            win::RegKey parent;
            if (::RegOpenKeyExW(root_, kParent, 0, KEY_ALL_ACCESS | view, parent.put()) == ERROR_SUCCESS)
                ::RegDeleteTreeW(parent.get(), leaf_.c_str());
        }
    }

    std::wstring path() const { return std::wstring(kParent) + L"\\" + leaf_; }

private:
    static constexpr wchar_t kParent[] = L"Software\\InstallerTests";
    HKEY root_;
    std::wstring leaf_;
};
