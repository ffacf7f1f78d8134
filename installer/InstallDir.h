// The installation directory: a chosen parent folder plus the product's
// folder name, and the system dialog that picks the parent.
#pragma once

#include <windows.h>

#include <string>

// FOLDER + "\" + PROGRAMDIRNAME, without doubling the backslash of a drive
// root such as "C:\".
std::wstring joinInstallDir(const std::wstring& folder, const std::wstring& programDirName);

// The volume that holds DIR, as the free-space query takes it: the drive
// ("C:\") or, for a network path, the server and its share
// ("\\server\share\"); "" when DIR names neither.
std::wstring installVolume(const std::wstring& dir);

// The system's folder-browse dialog (new style, file-system folders only, no
// "new folder" button, nothing preselected). False when it was cancelled or
// the choice is not a file-system folder.
bool browseForFolder(HWND owner, const std::wstring& prompt, std::wstring& folder);
