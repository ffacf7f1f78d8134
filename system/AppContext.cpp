#include "AppContext.h"

namespace {

// Only the user-interface thread touches these.
std::wstring g_title;
HWND g_window = nullptr;

} // namespace

void setApplicationTitle(std::wstring title) { g_title = std::move(title); }
const std::wstring& applicationTitle() { return g_title; }
void setApplicationWindow(HWND wnd) { g_window = wnd; }
HWND applicationWindow() { return g_window; }
