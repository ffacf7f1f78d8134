// Single string values in the registry, and the product's per-user key.
#pragma once

#include <windows.h>

#include <string>

// The per-user key of a product under HKEY_CURRENT_USER; it keeps the
// distribution source and the device code, and outlives an uninstall.
std::wstring productUserKeyPath(const std::wstring& softId);

// Full access, the key created when missing, in the program's own registry
// view unless VIEW names one (KEY_WOW64_32KEY, KEY_WOW64_64KEY). A missing
// value, or one holding an empty text, reads "". Failures throw win::Win32Error.
std::wstring regReadString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName,
                           REGSAM view = 0);
void regWriteString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName,
                    const std::wstring& text);
// Through the 64-bit view, read access, the key created when missing. Never
// throws: whatever cannot be read gives "".
std::wstring regReadString64(HKEY root, const std::wstring& keyPath, const std::wstring& valueName);

// Values of a key that may not exist, read without creating anything. False
// when the key or the value is missing, or the value is of another type.
bool regQueryString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, std::wstring& text);
bool regQueryDword(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, DWORD& value);
