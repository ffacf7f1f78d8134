#include "Registration.h"

#include "Handles.h"
#include "RegValues.h"
#include "util.h"

namespace {

constexpr wchar_t kUninstallRoot[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kDisplayName[] = L"DisplayName";
constexpr wchar_t kDisplayIcon[] = L"DisplayIcon";
constexpr wchar_t kUninstallString[] = L"UninstallString";
constexpr wchar_t kDisplayVersion[] = L"DisplayVersion";
constexpr wchar_t kPublisher[] = L"Publisher";
constexpr wchar_t kExePath[] = L"ExePath";

std::wstring uninstallKeyPath(const std::wstring& softId) { return std::wstring(kUninstallRoot) + L"\\" + softId; }

std::wstring quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

} // namespace

void setRegString(HKEY key, const std::wstring& valueName, const std::wstring& text)
{
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    const LSTATUS status = ::RegSetValueExW(key, valueName.c_str(), 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(text.c_str()), bytes);
    if (status != ERROR_SUCCESS)
        showNumber(static_cast<int>(status));
}

void setRegStringIfAny(HKEY key, const std::wstring& valueName, const std::wstring& text)
{
    if (!text.empty())
        setRegString(key, valueName, text);
}

void writeUninstallEntry(const std::wstring& softId, const std::wstring& displayName, const std::wstring& exePath,
                         const std::wstring& installDir, const std::wstring& version,
                         const std::wstring& publisher)
{
    // Without an id the values would land on the list of all programs itself.
    if (softId.empty())
        return;
    win::RegKey key;
    const LSTATUS status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, uninstallKeyPath(softId).c_str(), 0, nullptr, 0,
                                             KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) {
        // Every write against the unopened key could only fail again.
        showNumber(static_cast<int>(status));
        return;
    }
    setRegString(key.get(), kDisplayName, displayName);
    setRegStringIfAny(key.get(), kDisplayIcon, quoted(exePath));
    // Quoted like DisplayIcon: unquoted, a path with blanks makes Windows
    // try "C:\\Program.exe" and the like first.
    setRegString(key.get(), kUninstallString, quoted(installDir + L"\\" + kUninstallerName));
    setRegStringIfAny(key.get(), kDisplayVersion, version);
    setRegStringIfAny(key.get(), kPublisher, publisher);
    setRegStringIfAny(key.get(), kExePath, quoted(exePath));
}

bool deleteUninstallEntry(const std::wstring& softId)
{
    // An empty name would delete every program's entry.
    if (softId.empty())
        return false;
    win::RegKey root;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallRoot, 0, KEY_ALL_ACCESS, root.put()) != ERROR_SUCCESS)
        return false;
    return ::RegDeleteTreeW(root.get(), softId.c_str()) == ERROR_SUCCESS;
}

std::wstring readInstalledVersion(const std::wstring& softId)
{
    return regReadString(HKEY_LOCAL_MACHINE, uninstallKeyPath(softId), kDisplayVersion);
}
