// The product embedded into the main window's tests and test installers
// (tests/installer/data/product/config.json), and the traces its start-up
// leaves: the default folder and the per-user key.
#pragma once

#include "system/util.h"

#include <windows.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace testproduct {

inline constexpr wchar_t kSoftId[] = L"mainwin_test_win";
inline constexpr wchar_t kTitle[] = L"Mainwin Test Title";
inline constexpr wchar_t kVersion[] = L"9.8.7.6";
inline constexpr wchar_t kBigTitle[] = L"Mainwin Big Title";
inline constexpr wchar_t kDescription[] = L"A product made up for the main window's tests.";
inline constexpr wchar_t kMainProg[] = L"MainwinVictim.exe";
inline constexpr wchar_t kProgramDirName[] = L"Mainwin Test Product";

inline std::wstring defaultDir() { return getLocalAppDataDir() + L"\\" + kProgramDirName; }

// Removes the default folder and the per-user key; before and after a test.
inline void removeTraces()
{
    std::error_code ignored;
    std::filesystem::remove_all(defaultDir(), ignored);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"SOFTWARE\\") + kSoftId).c_str());
}

} // namespace testproduct
