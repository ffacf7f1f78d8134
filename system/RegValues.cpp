#include "RegValues.h"

#include "Handles.h"
#include "WinError.h"

namespace {

constexpr wchar_t kProductUserKeyPrefix[] = L"SOFTWARE\\";

win::RegKey createKey(HKEY root, const std::wstring& keyPath, REGSAM access)
{
    win::RegKey key;
    win::checkStatus(::RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                       nullptr, key.put(), nullptr),
                     "RegCreateKeyEx");
    return key;
}

// A REG_SZ or REG_EXPAND_SZ value as text; "" when the value is missing.
std::wstring readText(HKEY key, const std::wstring& valueName)
{
    DWORD type = 0, size = 0;
    LSTATUS status = ::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND)
        return {};
    win::checkStatus(status, "RegQueryValueEx");
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw win::Win32Error("RegQueryValueEx", ERROR_UNSUPPORTED_TYPE);

    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    status = ::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                                &size);
    win::checkStatus(status, "RegQueryValueEx");
    text.resize(size / sizeof(wchar_t));
    // The stored size may or may not count the terminating zero.
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

} // namespace

std::wstring productUserKeyPath(const std::wstring& softId) { return kProductUserKeyPrefix + softId; }

std::wstring regReadString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, REGSAM view)
{
    const win::RegKey key = createKey(root, keyPath, KEY_ALL_ACCESS | view);
    return readText(key.get(), valueName);
}

void regWriteString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName,
                    const std::wstring& text)
{
    const win::RegKey key = createKey(root, keyPath, KEY_ALL_ACCESS);
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    win::checkStatus(::RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ,
                                      reinterpret_cast<const BYTE*>(text.c_str()), bytes),
                     "RegSetValueEx");
}

std::wstring regReadString64(HKEY root, const std::wstring& keyPath, const std::wstring& valueName)
{
    try {
        const win::RegKey key = createKey(root, keyPath, KEY_READ | KEY_WOW64_64KEY);
        return readText(key.get(), valueName);
    } catch (const win::Win32Error&) {
        return {};
    }
}

bool regQueryString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, std::wstring& text)
{
    DWORD size = 0;
    if (::RegGetValueW(root, keyPath.c_str(), valueName.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
        ERROR_SUCCESS)
        return false;
    std::wstring read(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(read.size() * sizeof(wchar_t));
    if (::RegGetValueW(root, keyPath.c_str(), valueName.c_str(), RRF_RT_REG_SZ, nullptr, read.data(), &size) !=
        ERROR_SUCCESS)
        return false;
    read.resize(size / sizeof(wchar_t));
    while (!read.empty() && read.back() == L'\0')
        read.pop_back();
    text = std::move(read);
    return true;
}

bool regQueryDword(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, DWORD& value)
{
    DWORD size = sizeof(value);
    return ::RegGetValueW(root, keyPath.c_str(), valueName.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size) ==
           ERROR_SUCCESS;
}
