// The product's registry entries: the uninstall entry in the system's list of
// installed programs, file associations, the URL protocol, and the check for
// the installed .NET Framework.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The uninstaller: the installer copied under this name, which also makes it
// start in uninstall mode, into the installation folder and into
// uninstallerFolder, whose copy the uninstall entry names.
inline constexpr wchar_t kUninstallerName[] = L"unin.exe";
// The uninstaller's first argument for a removal without window or question.
inline constexpr wchar_t kSilentUninstallSwitch[] = L"/autouninst";

// The registry view of the uninstall entry, named so that the 32-bit and the
// 64-bit build use the same key: the 32-bit view (HKLM\Software\WOW6432Node
// on 64-bit Windows), where the vendor's earlier 32-bit installers wrote it
// and where their uninstallers look for it.
inline constexpr REGSAM kUninstallEntryView = KEY_WOW64_32KEY;
// "Software\Microsoft\Windows\CurrentVersion\Uninstall\<softId>", below HKLM in
// kUninstallEntryView.
std::wstring uninstallEntryPath(const std::wstring& softId);

// The folder of the uninstaller that the entry names: "<softId>-uninstall"
// (whatever a file name cannot hold replaced) in the program files folder
// that the system gives 32-bit programs ("Program Files (x86)" on 64-bit
// Windows, "Program Files" on 32-bit Windows), the same for either build as
// the entry's view is; only administrators can write there. "" when the
// system names no such folder or SOFTID is empty.
std::wstring uninstallerFolder(const std::wstring& softId);
// "InstallLocation" of the uninstall entry: the only folder an uninstall may
// empty; "" when the product is not registered. Registry failures throw
// win::Win32Error.
std::wstring readInstallLocation(const std::wstring& softId);

// A key or value that could not be written, and the system's error.
struct RegWriteFailure {
    std::wstring name;
    LSTATUS status;
};

// Writes "Software\Microsoft\Windows\CurrentVersion\Uninstall\<softId>" under
// HKLM, value by value, going on after a value that cannot be written: the
// names, versions and the commands that run UNINSTALLER, then what the system's list of programs and
// package managers read besides them (the silent uninstall's command, the
// folder, INSTALLEDBYTES as the size in KB, INSTALLDATE as "yyyymmdd", and
// neither change nor repair offered). Returns what could not be written, in
// order: the key alone when it cannot be created.
std::vector<RegWriteFailure> writeUninstallEntry(const std::wstring& softId, const std::wstring& displayName,
                                                 const std::wstring& exePath, const std::wstring& installDir,
                                                 const std::wstring& uninstaller, const std::wstring& version,
                                                 const std::wstring& publisher, uint64_t installedBytes,
                                                 const std::wstring& installDate);
// "yyyymmdd" of a local date, as InstallDate holds it.
std::wstring installDateOf(const SYSTEMTIME& date);
// Deletes the product's uninstall entry with everything below it; the
// system's status (an entry that is not there gives ERROR_FILE_NOT_FOUND; an
// empty id names none and gives ERROR_INVALID_PARAMETER).
LSTATUS deleteUninstallEntry(const std::wstring& softId);
// "DisplayVersion" of the uninstall entry; "" when the product is not
// registered. Registry failures throw win::Win32Error.
std::wstring readInstalledVersion(const std::wstring& softId);

// The association's type name for an extension: the extension without its
// first character, then "File" (".pdf" gives "pdfFile").
std::wstring fileTypeName(const std::wstring& extension);
// Points EXTENSION at TYPENAME and TYPENAME's open command at the program.
// A key that cannot be opened ends the registration silently; a value that
// cannot be written throws win::Win32Error. The shell is told only when the
// command changed.
void registerFileAssociation(const std::wstring& extension, const std::wstring& typeName,
                             const std::wstring& description, const std::wstring& exePath,
                             const std::wstring& arguments);
// The URL protocol KEYNAME under HKCR in the 64-bit view, opened by the
// program. Errors as for registerFileAssociation.
void registerUrlProtocol(const std::wstring& keyName, const std::wstring& description, const std::wstring& exePath);

// Tells the shell that associations changed and broadcasts an environment change.
void notifyAssociationsChanged();
// What registration calls after it changed an open command;
// notifyAssociationsChanged unless replaced. Returns the previous one.
using AssociationChangeNotifier = void (*)();
AssociationChangeNotifier setAssociationChangeNotifier(AssociationChangeNotifier notifier);

// Why the framework check gave false without finding out.
enum class DotNetProblem {
    None,
    // No required version was given.
    NoVersionRequired,
    // The required version is no decimal number.
    VersionNotANumber,
    // The framework key could not be opened or listed.
    RegistryError,
};

// True when a "v<version>" subkey of HKLM "Software\Microsoft\.NETFramework"
// is at least REQUIRED ("4", "4.5"). False otherwise, with PROBLEM set when
// the check could not be made, and ERROR the system's text of a registry
// failure.
bool isDotNetInstalled(const std::wstring& required, DotNetProblem& problem, std::wstring& error);

