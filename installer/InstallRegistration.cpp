// The install's registration steps, in order: shortcuts and taskbar pin, the
// uninstaller and the vendor's data file, associations and URL protocol, the
// COM library, the uninstall entry and the after-install files. Only a value
// of an association or the protocol that cannot be written ends them; every
// other failure is told and skipped.
#include "installer/InstallEngine.h"

#include "system/Encoding.h"
#include "system/Handles.h"
#include "system/Paths.h"
#include "system/Process.h"
#include "system/Registration.h"
#include "system/Shortcuts.h"
#include "system/WinError.h"
#include "system/util.h"

#include <windows.h>
#include <shellapi.h>


namespace {

constexpr wchar_t kConfigCopyName[] = L"config.dat";
constexpr wchar_t kPublisher[] = L"velmora software";
constexpr wchar_t kRegsvr32[] = L"regsvr32.exe";
constexpr wchar_t kRegsvr32Switch[] = L"/s-  \"";
constexpr wchar_t kOpenVerb[] = L"open";

constexpr wchar_t kWhatDesktopShortcut[] = L"desktop shortcut";
constexpr wchar_t kWhatStartMenuShortcut[] = L"start-menu shortcut";
constexpr wchar_t kWhatPin[] = L"taskbar pin";
constexpr wchar_t kWhatCopy[] = L"copying to ";
constexpr wchar_t kWhatAssociations[] = L"file associations and URL protocol";
constexpr wchar_t kWhatComLibrary[] = L"registering the COM library ";
constexpr wchar_t kWhatUninstallEntry[] = L"uninstall entry value ";
constexpr wchar_t kWhatOpen[] = L"opening ";
// The version the installed package was signed for (see InstallEngine.cpp).
constexpr wchar_t kSignedVersionValue[] = L"PackageVersion";

} // namespace

bool InstallEngine::registerProduct()
{
    registerShortcuts();
    copyUninstallerAndData();
    if (!registerAssociationsAndProtocol())
        return false;
    registerComLibrary();
    writeUninstallEntryValues();
    openAfterInstallFiles();
    return true;
}

// No shortcuts when the program is not in the package; the pin then gets an
// empty path and does nothing.
void InstallEngine::registerShortcuts()
{
    std::wstring desktopLink;
    if (!createDesktopShortcut(program_, config_.ShortcutName, desktopLink))
        observer_.error({ErrorKind::Shortcut, kWhatDesktopShortcut, ::GetLastError()});
    if (!createStartMenuShortcut(program_, config_.ProgramDirName, config_.ShortcutName))
        observer_.error({ErrorKind::Shortcut, kWhatStartMenuShortcut, ::GetLastError()});
    if (!pinToTaskbar(desktopLink))
        observer_.error({ErrorKind::Shortcut, kWhatPin, ::GetLastError()});
}

void InstallEngine::copyUninstallerAndData()
{
    const std::wstring uninstaller = targetDir_ + L"\\" + kUninstallerName;
    if (!copyFileOverwrite(getExeDir() + getExeFileName(), uninstaller))
        observer_.error({ErrorKind::File, kWhatCopy + uninstaller, ::GetLastError()});
    const std::wstring data = getExeDir() + kConfigCopyName;
    if (!pathExists(data))
        return;
    const std::wstring copy = targetDir_ + L"\\" + kConfigCopyName;
    if (!copyFileOverwrite(data, copy))
        observer_.error({ErrorKind::File, kWhatCopy + copy, ::GetLastError()});
}

// A value that cannot be written ends the registration, and its text is
// shown as the install button's error.
bool InstallEngine::registerAssociationsAndProtocol()
{
    try {
        for (const std::wstring& ext : config_.AssociatedExts) {
            if (ext.empty())
                continue;
            const std::wstring typeName = fileTypeName(ext);
            registerFileAssociation(ext, typeName, typeName, program_, L"");
        }
        if (!config_.ProtocalRootKeyName.empty())
            registerUrlProtocol(config_.ProtocalRootKeyName, config_.Protocalname, program_);
    } catch (const win::Win32Error& e) {
        const std::wstring text = win::fromUtf8(e.what());
        observer_.error({ErrorKind::Registry, kWhatAssociations, e.code(), text});
        observer_.message({text});
        return false;
    }
    return true;
}

// Started, not waited for.
void InstallEngine::registerComLibrary()
{
    if (config_.RegDllName.empty())
        return;
    const std::wstring library = targetDir_ + L"\\" + config_.RegDllName;
    const std::wstring parameters = kRegsvr32Switch + library + L"\"";
    const auto started = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, kOpenVerb, (getSystemDir() + kRegsvr32).c_str(), parameters.c_str(), L"", SW_HIDE));
    if (started <= 32)
        observer_.error({ErrorKind::Process, kWhatComLibrary + library, static_cast<DWORD>(started)});
}

// Each value that cannot be written is shown as the bare system error number,
// and the install goes on.
void InstallEngine::writeUninstallEntryValues()
{
    SYSTEMTIME today{};
    ::GetLocalTime(&today);
    for (const RegWriteFailure& failure : writeUninstallEntry(config_.SoftId, config_.ShortcutName, program_,
                                                              targetDir_, config_.Version, kPublisher,
                                                              installedBytes_, installDateOf(today))) {
        const auto code = static_cast<DWORD>(failure.status);
        observer_.error({ErrorKind::Registry, kWhatUninstallEntry + failure.name, code});
        observer_.message({std::to_wstring(code), MessageStyle::SystemInformation});
    }
    // A package that names no version leaves none behind from an earlier one.
    win::RegKey entry;
    LSTATUS status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallEntryPath(config_.SoftId).c_str(), 0,
                                     KEY_SET_VALUE | kUninstallEntryView, entry.put());
    if (status == ERROR_SUCCESS && signedVersion_.empty())
        ::RegDeleteValueW(entry.get(), kSignedVersionValue);
    else if (status == ERROR_SUCCESS)
        status = ::RegSetValueExW(entry.get(), kSignedVersionValue, 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(signedVersion_.c_str()),
                                  static_cast<DWORD>((signedVersion_.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS)
        observer_.error({ErrorKind::Registry, std::wstring(kWhatUninstallEntry) + kSignedVersionValue,
                         static_cast<DWORD>(status)});
}

// Neither is waited for.
void InstallEngine::openAfterInstallFiles()
{
    for (const std::wstring* file : {&config_.AfterInstBat1, &config_.AfterInstBat2}) {
        if (file->empty())
            continue;
        const std::wstring path = targetDir_ + L"\\" + *file;
        if (!shellOpenIn(path))
            observer_.error({ErrorKind::Process, kWhatOpen + path, ::GetLastError()});
    }
}
