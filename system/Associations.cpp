#include "Registration.h"

#include "Handles.h"
#include "WinError.h"

#include <shlobj.h>

#include <utility>

namespace {

constexpr wchar_t kOpenCommandKey[] = L"shell\\open\\command";
constexpr wchar_t kUrlProtocolValue[] = L"URL Protocol";
constexpr wchar_t kTypeNameSuffix[] = L"File";
constexpr wchar_t kEnvironment[] = L"Environment";
constexpr wchar_t kPlaceholder[] = L"\"%1\"";
constexpr UINT kBroadcastTimeoutMs = 100;
// HKCR in the 64-bit view, in both builds. The protocol key is named there on
// purpose. For the associations it is the same key a 32-bit program's own
// view reaches: Windows 7 and later share the classes between both views
// (only CLSID and a few other branches are kept apart). Wine keeps a 32-bit
// copy of them that its 64-bit shell never reads.
constexpr REGSAM kClassesView = KEY_WOW64_64KEY;

AssociationChangeNotifier changeNotifier = notifyAssociationsChanged;

// Opens or creates SUBKEY; an empty key when that is not possible.
win::RegKey openOrCreate(HKEY parent, const std::wstring& subKey, REGSAM access)
{
    win::RegKey key;
    if (::RegCreateKeyExW(parent, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key.put(),
                          nullptr) != ERROR_SUCCESS)
        key.reset();
    return key;
}

void writeValue(HKEY key, const wchar_t* valueName, const std::wstring& text)
{
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    win::checkStatus(
        ::RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes),
        "RegSetValueEx");
}

// The default value as text; "" when it is missing or not a text.
std::wstring readDefault(HKEY key)
{
    DWORD size = 0;
    constexpr DWORD kTextTypes = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    if (::RegGetValueW(key, nullptr, nullptr, kTextTypes, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegGetValueW(key, nullptr, nullptr, kTextTypes, nullptr, text.data(), &size) != ERROR_SUCCESS)
        return {};
    text.resize(size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

std::wstring openCommand(const std::wstring& exePath, const std::wstring& arguments)
{
    std::wstring command = L"\"" + exePath + L"\" ";
    if (!arguments.empty())
        command += arguments + L" ";
    return command + kPlaceholder;
}

// Writes the open command below KEY unless it is already there; true when
// it was written. False also when the command key cannot be opened.
bool updateOpenCommand(HKEY key, REGSAM access, const std::wstring& command)
{
    const win::RegKey commandKey = openOrCreate(key, kOpenCommandKey, access);
    if (!commandKey || readDefault(commandKey.get()) == command)
        return false;
    writeValue(commandKey.get(), nullptr, command);
    return true;
}

} // namespace

std::wstring fileTypeName(const std::wstring& extension)
{
    return (extension.empty() ? std::wstring() : extension.substr(1)) + kTypeNameSuffix;
}

void registerFileAssociation(const std::wstring& extension, const std::wstring& typeName,
                             const std::wstring& description, const std::wstring& exePath,
                             const std::wstring& arguments)
{
    // An empty name would write the default value of HKCR itself.
    if (extension.empty() || typeName.empty())
        return;
    {
        const win::RegKey extKey = openOrCreate(HKEY_CLASSES_ROOT, extension, KEY_ALL_ACCESS | kClassesView);
        if (!extKey)
            return;
        writeValue(extKey.get(), nullptr, typeName);
    }
    constexpr REGSAM kAccess = KEY_ALL_ACCESS | kClassesView;
    const win::RegKey typeKey = openOrCreate(HKEY_CLASSES_ROOT, typeName, kAccess);
    if (!typeKey)
        return;
    writeValue(typeKey.get(), nullptr, description);
    if (updateOpenCommand(typeKey.get(), kAccess, openCommand(exePath, arguments)))
        changeNotifier();
}

void registerUrlProtocol(const std::wstring& keyName, const std::wstring& description, const std::wstring& exePath)
{
    if (keyName.empty())
        return;
    constexpr REGSAM kAccess = KEY_ALL_ACCESS | kClassesView;
    const win::RegKey protocolKey = openOrCreate(HKEY_CLASSES_ROOT, keyName, kAccess);
    if (!protocolKey)
        return;
    writeValue(protocolKey.get(), nullptr, description);
    writeValue(protocolKey.get(), kUrlProtocolValue, exePath);
    if (updateOpenCommand(protocolKey.get(), kAccess, openCommand(exePath, L"")))
        changeNotifier();
}

void notifyAssociationsChanged()
{
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, 0, nullptr, nullptr);
    ::SHChangeNotify(SHCNE_ALLEVENTS, 0, nullptr, nullptr);
    ::SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(kEnvironment),
                          SMTO_ABORTIFHUNG, kBroadcastTimeoutMs, nullptr);
}

AssociationChangeNotifier setAssociationChangeNotifier(AssociationChangeNotifier notifier)
{
    return std::exchange(changeNotifier, notifier);
}
