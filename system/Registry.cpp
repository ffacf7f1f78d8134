#include "Registry.h"

#include "WinError.h"

namespace {

constexpr wchar_t kProductUserKeyPrefix[] = L"SOFTWARE\\";

} // namespace

namespace reg {

namespace {

// Text values are taken as stored: REG_EXPAND_SZ is not expanded.
constexpr DWORD kTextTypes = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;

} // namespace

LSTATUS createKey(HKEY root, const std::wstring& path, REGSAM access, win::RegKey& key)
{
    return ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key.put(),
                             nullptr);
}

LSTATUS openKey(HKEY root, const std::wstring& path, REGSAM access, win::RegKey& key)
{
    return ::RegOpenKeyExW(root, path.c_str(), 0, access, key.put());
}

LSTATUS readString(HKEY key, const std::wstring& name, std::wstring& text)
{
    text.clear();
    DWORD size = 0;
    LSTATUS status = ::RegGetValueW(key, nullptr, name.c_str(), kTextTypes, nullptr, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return status;
    std::wstring read(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(read.size() * sizeof(wchar_t));
    status = ::RegGetValueW(key, nullptr, name.c_str(), kTextTypes, nullptr, read.data(), &size);
    if (status != ERROR_SUCCESS)
        return status;
    read.resize(size / sizeof(wchar_t));
    // The stored size may or may not count the terminating zero.
    while (!read.empty() && read.back() == L'\0')
        read.pop_back();
    text = std::move(read);
    return ERROR_SUCCESS;
}

LSTATUS readDword(HKEY key, const std::wstring& name, DWORD& value)
{
    DWORD read = 0, size = sizeof(read);
    const LSTATUS status = ::RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_DWORD, nullptr, &read, &size);
    if (status == ERROR_SUCCESS)
        value = read;
    return status;
}

LSTATUS writeString(HKEY key, const std::wstring& name, const std::wstring& text)
{
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
}

LSTATUS writeDword(HKEY key, const std::wstring& name, DWORD value)
{
    return ::RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

LSTATUS subkeyNames(HKEY key, std::vector<std::wstring>& names)
{
    names.clear();
    DWORD count = 0, longest = 0;
    LSTATUS status = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    std::wstring name(longest + 1, L'\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        status = ::RegEnumKeyExW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        // Keys deleted meanwhile end the list early.
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            return status;
        names.emplace_back(name.data(), length);
    }
    return ERROR_SUCCESS;
}

LSTATUS deleteTree(HKEY key, const std::wstring& subKey) { return ::RegDeleteTreeW(key, subKey.c_str()); }

} // namespace reg

std::wstring productUserKeyPath(const std::wstring& softId) { return kProductUserKeyPrefix + softId; }

std::wstring regReadString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, REGSAM view)
{
    win::RegKey key;
    win::checkStatus(reg::createKey(root, keyPath, KEY_ALL_ACCESS | view, key), reg::kCreateKeyOp);
    std::wstring text;
    win::checkStatus(reg::missingAsEmpty(reg::readString(key.get(), valueName, text)), reg::kReadValueOp);
    return text;
}

void regWriteString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName,
                    const std::wstring& text)
{
    win::RegKey key;
    win::checkStatus(reg::createKey(root, keyPath, KEY_ALL_ACCESS, key), reg::kCreateKeyOp);
    win::checkStatus(reg::writeString(key.get(), valueName, text), reg::kWriteValueOp);
}

std::wstring regReadString64(HKEY root, const std::wstring& keyPath, const std::wstring& valueName)
{
    win::RegKey key;
    std::wstring text;
    if (reg::createKey(root, keyPath, KEY_READ | KEY_WOW64_64KEY, key) == ERROR_SUCCESS)
        reg::readString(key.get(), valueName, text);
    return text;
}
