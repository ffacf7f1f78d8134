// The product's registry entries: the uninstall entry in the system's list of
// installed programs, file associations, the URL protocol, and the check for
// the installed .NET Framework.
#pragma once

#include <windows.h>

#include <string>

// The uninstaller: the installer copied into the installation folder under
// this name, which also makes it start in uninstall mode.
inline constexpr wchar_t kUninstallerName[] = L"unin.exe";

// Writes "Software\Microsoft\Windows\CurrentVersion\Uninstall\<softId>" under
// HKLM. Failures are shown as the bare Windows error number (showNumber) and
// the install goes on.
void writeUninstallEntry(const std::wstring& softId, const std::wstring& displayName, const std::wstring& exePath,
                         const std::wstring& installDir, const std::wstring& version,
                         const std::wstring& publisher);
// Deletes the product's uninstall entry with everything below it; false when
// it could not be deleted (or the id is empty, which names no entry).
bool deleteUninstallEntry(const std::wstring& softId);
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

// True when a "v<version>" subkey of HKLM "Software\Microsoft\.NETFramework"
// is at least REQUIRED ("4", "4.5"). An empty REQUIRED, or a registry failure,
// is shown in a plain message box and gives false; a REQUIRED that is no
// number throws std::invalid_argument.
bool isDotNetInstalled(const std::wstring& required);

// One REG_SZ value; a failure is shown as the Windows error number.
void setRegString(HKEY key, const std::wstring& valueName, const std::wstring& text);
// The same, only when TEXT is not empty.
void setRegStringIfAny(HKEY key, const std::wstring& valueName, const std::wstring& text);
