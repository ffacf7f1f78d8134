// What the system message boxes need to know of the running application: its
// title (their caption) and its main window (their owner). The window toolkit's
// application object keeps these up to date.
#pragma once

#include <windows.h>

#include <string>

void setApplicationTitle(std::wstring title);
const std::wstring& applicationTitle();
void setApplicationWindow(HWND wnd);
HWND applicationWindow();
