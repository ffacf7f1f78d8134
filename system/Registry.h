// The registry. The primitives return the system's status (LSTATUS) and
// nothing else; callers check it with win::checkStatus or compare it, so
// that no registry call is checked as if it set the last error. ACCESS
// carries the registry view wherever a caller fixes one (KEY_WOW64_32KEY,
// KEY_WOW64_64KEY); without one the program's own view is used.
#pragma once

#include "Handles.h"

#include <windows.h>

#include <string>
#include <vector>

namespace reg {

// The operation names that win::checkStatus puts into its error text.
inline constexpr char kCreateKeyOp[] = "RegCreateKeyEx";
inline constexpr char kReadValueOp[] = "RegQueryValueEx";
inline constexpr char kWriteValueOp[] = "RegSetValueEx";
inline constexpr char kListKeysOp[] = "RegEnumKeyEx";

// PATH below ROOT, created when missing.
LSTATUS createKey(HKEY root, const std::wstring& path, REGSAM access, win::RegKey& key);
// PATH below ROOT when it exists; nothing is created.
LSTATUS openKey(HKEY root, const std::wstring& path, REGSAM access, win::RegKey& key);

// A REG_SZ or REG_EXPAND_SZ value as stored (not expanded); an empty NAME is
// the key's default value. ERROR_FILE_NOT_FOUND when the value is missing,
// ERROR_UNSUPPORTED_TYPE when it holds no text; TEXT is "" unless it was read.
LSTATUS readString(HKEY key, const std::wstring& name, std::wstring& text);
// A REG_DWORD value; VALUE is left alone unless it was read.
LSTATUS readDword(HKEY key, const std::wstring& name, DWORD& value);
// REG_SZ, the terminating zero counted in the stored size.
LSTATUS writeString(HKEY key, const std::wstring& name, const std::wstring& text);
LSTATUS writeDword(HKEY key, const std::wstring& name, DWORD value);
// The names of KEY's direct subkeys, in the registry's order.
LSTATUS subkeyNames(HKEY key, std::vector<std::wstring>& names);
// SUBKEY of KEY with everything below it.
LSTATUS deleteTree(HKEY key, const std::wstring& subKey);

// For reads where a missing value counts as an empty one.
inline LSTATUS missingAsEmpty(LSTATUS status) { return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status; }

} // namespace reg

// The per-user key of a product under HKEY_CURRENT_USER; it keeps the
// distribution source and the device code, and outlives an uninstall.
std::wstring productUserKeyPath(const std::wstring& softId);

// The string-value helpers of the per-user key and the uninstall entry, on
// the primitives above. Full access, the key created when missing, in the
// program's own registry view unless VIEW names one. A missing value, or
// one holding an empty text, reads "". Failures throw win::Win32Error.
std::wstring regReadString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName,
                           REGSAM view = 0);
void regWriteString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName,
                    const std::wstring& text);
// Through the 64-bit view, read access, the key created when missing. Never
// throws: whatever cannot be read gives "".
std::wstring regReadString64(HKEY root, const std::wstring& keyPath, const std::wstring& valueName);
