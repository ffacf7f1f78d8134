#include "Registration.h"

#include "Registry.h"
#include "WinError.h"

#include <shlobj.h>

#include <utility>

namespace {

constexpr wchar_t kOpenCommandKey[] = L"shell\\open\\command";
constexpr wchar_t kUrlProtocolValue[] = L"URL Protocol";
constexpr wchar_t kDefaultValue[] = L"";
constexpr wchar_t kTypeNameSuffix[] = L"File";
constexpr wchar_t kEnvironment[] = L"Environment";
constexpr wchar_t kPlaceholder[] = L"\"%1\"";
constexpr UINT kBroadcastTimeoutMs = 100;
// Full access to HKCR in the 64-bit view, in both builds. The protocol key is named there on
// purpose. For the associations it is the same key a 32-bit program's own
// view reaches: Windows 7 and later share the classes between both views
// (only CLSID and a few other branches are kept apart). Wine keeps a 32-bit
// copy of them that its 64-bit shell never reads.
constexpr REGSAM kClassesAccess = KEY_ALL_ACCESS | KEY_WOW64_64KEY;

AssociationChangeNotifier changeNotifier = notifyAssociationsChanged;

void writeValue(HKEY key, const std::wstring& valueName, const std::wstring& text)
{
    win::checkStatus(reg::writeString(key, valueName, text), reg::kWriteValueOp);
}

std::wstring openCommand(const std::wstring& exePath, const std::wstring& arguments)
{
    std::wstring command = L"\"" + exePath + L"\" ";
    if (!arguments.empty())
        command += arguments + L" ";
    return command + kPlaceholder;
}

// Opens or creates NAME below PARENT; false when that is not possible, which
// ends a registration silently.
bool openClassKey(HKEY parent, const std::wstring& name, win::RegKey& key)
{
    return reg::createKey(parent, name, kClassesAccess, key) == ERROR_SUCCESS;
}

// Writes the open command below KEY unless it is already there; true when
// it was written. False also when the command key cannot be opened.
bool updateOpenCommand(HKEY key, const std::wstring& command)
{
    win::RegKey commandKey;
    if (!openClassKey(key, kOpenCommandKey, commandKey))
        return false;
    // A default value that is missing or holds no text reads "".
    std::wstring present;
    reg::readString(commandKey.get(), kDefaultValue, present);
    if (present == command)
        return false;
    writeValue(commandKey.get(), kDefaultValue, command);
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
        win::RegKey extKey;
        if (!openClassKey(HKEY_CLASSES_ROOT, extension, extKey))
            return;
        writeValue(extKey.get(), kDefaultValue, typeName);
    }
    win::RegKey typeKey;
    if (!openClassKey(HKEY_CLASSES_ROOT, typeName, typeKey))
        return;
    writeValue(typeKey.get(), kDefaultValue, description);
    if (updateOpenCommand(typeKey.get(), openCommand(exePath, arguments)))
        changeNotifier();
}

void registerUrlProtocol(const std::wstring& keyName, const std::wstring& description, const std::wstring& exePath)
{
    if (keyName.empty())
        return;
    win::RegKey protocolKey;
    if (!openClassKey(HKEY_CLASSES_ROOT, keyName, protocolKey))
        return;
    writeValue(protocolKey.get(), kDefaultValue, description);
    writeValue(protocolKey.get(), kUrlProtocolValue, exePath);
    if (updateOpenCommand(protocolKey.get(), openCommand(exePath, L"")))
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
