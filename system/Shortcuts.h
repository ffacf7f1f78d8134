// The product's shortcuts on the desktop and in the start menu, and the
// taskbar pin. Shortcuts are the shell's link files (".lnk").
#pragma once

#include <string>

// Shortcut file paths. An empty NAME stands for the program's file name
// without extension. The desktop path joins folder and name with a forward
// slash, and the taskbar pin is handed that same text. "" when a name would
// leave its folder (a separator, "..", a drive) or no folder is known.
std::wstring desktopShortcutPath(const std::wstring& exePath, const std::wstring& name);
// <start-menu programs>\<folderName>\<name>.lnk; FOLDERNAME may hold nested folders.
std::wstring startMenuShortcutPath(const std::wstring& exePath, const std::wstring& folderName,
                                   const std::wstring& name);

// A link to EXEPATH, working in its folder, on the user's desktop. True, and
// SHORTCUTPATH set, only when it was saved; false when the program is missing
// or the link cannot be saved, with the reason in the thread's last error.
bool createDesktopShortcut(const std::wstring& exePath, const std::wstring& name, std::wstring& shortcutPath);
// The same in FOLDERNAME below the start menu's programs, creating the folder.
bool createStartMenuShortcut(const std::wstring& exePath, const std::wstring& folderName, const std::wstring& name);
// Asks the shell to pin the shortcut to the taskbar ("taskbarpin" verb).
// Nothing happens for an empty path. False, with the reason in the last
// error, where the shell refuses (it has no such verb on some systems).
bool pinToTaskbar(const std::wstring& shortcutPath);

// Delete the shortcut files made by the create calls; the start-menu folder
// stays. False, with the reason in the last error, only when a shortcut is
// there and cannot be deleted: a missing one is no failure.
bool deleteDesktopShortcut(const std::wstring& exePath, const std::wstring& name);
bool deleteStartMenuShortcut(const std::wstring& exePath, const std::wstring& folderName, const std::wstring& name);
