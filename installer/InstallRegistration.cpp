// The install's registration steps, in order: shortcuts and taskbar pin, the
// uninstaller and the vendor's data file, associations and URL protocol, the
// COM library, the uninstall entry and the after-install files. A copy that
// cannot replace what is in its place and a value of an association or the
// protocol that cannot be written end them; every other failure is told and
// skipped.
#include "installer/InstallEngine.h"

#include "system/Encoding.h"
#include "system/FileReplace.h"
#include "system/Handles.h"
#include "system/MyZip.h"
#include "system/Paths.h"
#include "system/PrivateTempDir.h"
#include "system/Process.h"
#include "system/Registration.h"
#include "system/Shortcuts.h"
#include "system/WinError.h"
#include "system/util.h"

#include <windows.h>

namespace {

constexpr wchar_t kConfigCopyName[] = L"config.dat";
constexpr wchar_t kPublisher[] = L"velmora software";
constexpr wchar_t kRegsvr32[] = L"regsvr32.exe";
constexpr wchar_t kRegsvr32Switch[] = L"/s-  \"";

constexpr wchar_t kWhatDesktopShortcut[] = L"desktop shortcut";
constexpr wchar_t kWhatStartMenuShortcut[] = L"start-menu shortcut";
constexpr wchar_t kWhatPin[] = L"taskbar pin";
constexpr wchar_t kWhatCopy[] = L"copying to ";
constexpr wchar_t kWhatUninstallerFolder[] = L"making the uninstaller's folder ";
constexpr wchar_t kFileNotReplaced[] = L"安装目录中已有的文件无法替换，已停止安装！请关闭正在运行的程序后重试。";
constexpr wchar_t kWhatAssociations[] = L"file associations and URL protocol";
constexpr wchar_t kWhatComLibrary[] = L"registering the COM library ";
constexpr wchar_t kWhatUninstallEntry[] = L"uninstall entry value ";
constexpr wchar_t kWhatOpen[] = L"opening ";
constexpr wchar_t kNotAProgram[] = L"neither a program nor a batch file: not opened";
constexpr wchar_t kWhatNotExtracted[] = L"not run, not the file this install extracted: ";
// The version the installed package was signed for (see InstallEngine.cpp).
constexpr wchar_t kSignedVersionValue[] = L"PackageVersion";

} // namespace

bool InstallEngine::registerProduct(InstallResult& failure)
{
    registerShortcuts();
    failure = InstallResult::FileNotReplaced;
    if (!copyUninstallerAndData())
        return false;
    failure = InstallResult::RegistrationFailed;
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

// The copies replace whatever had their names, read-only or a link; old bytes
// left there would be run later. The uninstaller that the entry names goes
// into a folder of its own that only administrators can change, since it runs
// elevated at every uninstall; the copy in the installation folder is the
// product's own, for whoever looks there.
bool InstallEngine::copyUninstallerAndData()
{
    const std::wstring self = getExeDir() + getExeFileName();
    const std::wstring data = getExeDir() + kConfigCopyName;
    std::vector<std::wstring> copies{self, targetDir_ + L"\\" + kUninstallerName};
    if (pathExists(data))
        copies.insert(copies.end(), {data, targetDir_ + L"\\" + kConfigCopyName});
    const std::wstring folder = uninstallerFolder(config_.SoftId);
    if (!folder.empty()) {
        if (!makeReadableFolder(folder)) {
            observer_.error({ErrorKind::File, kWhatUninstallerFolder + folder, ::GetLastError()});
            observer_.message({kFileNotReplaced});
            return false;
        }
        copies.insert(copies.end(), {self, folder + L"\\" + kUninstallerName});
    }
    for (size_t i = 0; i < copies.size(); i += 2) {
        if (!copyReplacing(copies[i], copies[i + 1])) {
            observer_.error({ErrorKind::File, kWhatCopy + copies[i + 1], ::GetLastError()});
            observer_.message({kFileNotReplaced});
            return false;
        }
    }
    return true;
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

// Started, not waited for, by regsvr32 from the system folder, while the
// library is held as extracted.
void InstallEngine::registerComLibrary()
{
    if (config_.RegDllName.empty())
        return;
    const std::wstring library = targetDir_ + L"\\" + config_.RegDllName;
    const win::FileHandle held = holdAsExtracted(config_.RegDllName, library);
    if (!held)
        return;
    if (!startProgram(getSystemDir() + kRegsvr32, kRegsvr32Switch + library + L"\"", getSystemDir(), held.get()))
        observer_.error({ErrorKind::Process, kWhatComLibrary + library, ::GetLastError()});
}

// Each value that cannot be written is shown as the bare system error number,
// and the install goes on.
void InstallEngine::writeUninstallEntryValues()
{
    SYSTEMTIME today{};
    ::GetLocalTime(&today);
    const std::wstring uninstaller = uninstallerFolder(config_.SoftId) + L"\\" + kUninstallerName;
    for (const RegWriteFailure& failure :
         writeUninstallEntry(config_.SoftId, config_.ShortcutName, program_, targetDir_, uninstaller, config_.Version,
                             kPublisher, installedBytes_, installDateOf(today))) {
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

// Neither is waited for. A program is started as it is and a batch file by
// the command interpreter, each while held as extracted; a file of any other
// kind is not opened: its handler would be the user's choice, run elevated.
void InstallEngine::openAfterInstallFiles()
{
    for (const std::wstring* file : {&config_.AfterInstBat1, &config_.AfterInstBat2}) {
        if (file->empty())
            continue;
        const std::wstring path = targetDir_ + L"\\" + *file;
        if (!isProgramFile(path) && !isScriptFile(path)) {
            observer_.error({ErrorKind::Process, kWhatOpen + path, 0, kNotAProgram});
            continue;
        }
        const win::FileHandle held = holdAsExtracted(*file, path);
        if (!held)
            continue;
        const bool started = isProgramFile(path) ? startProgram(path, L"", L"", held.get())
                                                 : startScript(path, held.get());
        if (!started)
            observer_.error({ErrorKind::Process, kWhatOpen + path, ::GetLastError()});
    }
}

// PATH, the package's entry RELATIVE, held against writers when it still
// holds the bytes this install extracted; empty, and told, when it does not
// (replaced since, or not from the package at all).
win::FileHandle InstallEngine::holdAsExtracted(const std::wstring& relative, const std::wstring& path)
{
    signing::Digest digest{};
    win::FileHandle held;
    if (entryDigest(archive_, kPackagePassword, relative, digest, &held_))
        held = holdIfDigest(path, digest);
    if (!held)
        observer_.error({ErrorKind::File, kWhatNotExtracted + path, 0});
    return held;
}
