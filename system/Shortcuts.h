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
// SHORTCUTPATH set, only when it was saved; false when the program is missing.
bool createDesktopShortcut(const std::wstring& exePath, const std::wstring& name, std::wstring& shortcutPath);
// The same in FOLDERNAME below the start menu's programs, creating the folder.
bool createStartMenuShortcut(const std::wstring& exePath, const std::wstring& folderName, const std::wstring& name);
// Asks the shell to pin the shortcut to the taskbar ("taskbarpin" verb).
// Nothing happens for an empty path or where the shell has no such verb.
void pinToTaskbar(const std::wstring& shortcutPath);

// Delete the shortcut files made by the create calls; the start-menu folder
// stays. Always true: a missing shortcut is no failure.
bool deleteDesktopShortcut(const std::wstring& exePath, const std::wstring& name);
bool deleteStartMenuShortcut(const std::wstring& exePath, const std::wstring& folderName, const std::wstring& name);
