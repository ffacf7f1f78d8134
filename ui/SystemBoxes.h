// The system's own message boxes, captioned with the application's title and
// owned by its main window when there is one.
#pragma once

#include <windows.h>

#include <string>

// The Yes/No question with the question icon; true for Yes.
bool askYesNo(HWND owner, const std::wstring& caption, const std::wstring& text);
// A notice with the information icon.
void showInfo(const std::wstring& text);
// A notice with neither icon nor anything but OK.
void showPlainMessage(const std::wstring& text);
