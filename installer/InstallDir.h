// The system dialog that picks the folder the product is installed in.
#pragma once

#include <windows.h>

#include <string>

// The system's folder-browse dialog (new style, file-system folders only, no
// "new folder" button, nothing preselected). False when it was cancelled or
// the choice is not a file-system folder.
bool browseForFolder(HWND owner, const std::wstring& prompt, std::wstring& folder);
