// The demo product that the demo installer installs: one window, and a line
// in its per-user data folder each time it starts, so that tests and people
// can see that the installer started it.
#include "system/Encoding.h"
#include "system/Handles.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

namespace {

constexpr wchar_t kWindowClass[] = L"VelmoraNotesWindow";
constexpr wchar_t kTitle[] = L"Velmora Notes";
constexpr wchar_t kGreeting[] = L"Velmora Notes is running.\r\nThis is the demo product of the installer.";
// The folder that the demo configuration's ConfigPathForUinstall names.
constexpr wchar_t kDataFolder[] = L"\\Velmora Notes";
constexpr wchar_t kRunLog[] = L"\\runs.log";

void recordStart()
{
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, appData)))
        return;
    const std::wstring folder = std::wstring(appData) + kDataFolder;
    ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);

    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    wchar_t stamp[32] = {};
    std::swprintf(stamp, 32, L"%04u-%02u-%02u %02u:%02u:%02u ", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    const std::string line = win::toUtf8(std::wstring(stamp) + ::GetCommandLineW() + L"\r\n");

    const win::FileHandle file(::CreateFileW((folder + kRunLog).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file)
        ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

LRESULT CALLBACK windowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        const HDC dc = ::BeginPaint(wnd, &ps);
        RECT area;
        ::GetClientRect(wnd, &area);
        ::InflateRect(&area, -24, -24);
        ::SetBkMode(dc, TRANSPARENT);
        ::DrawTextW(dc, kGreeting, -1, &area, DT_LEFT | DT_WORDBREAK);
        ::EndPaint(wnd, &ps);
        return 0;
    }
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(wnd, msg, wp, lp);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, wchar_t*, int show)
{
    recordStart();

    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kWindowClass;
    ::RegisterClassW(&wc);
    const HWND wnd = ::CreateWindowW(kWindowClass, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480,
                                     240, nullptr, nullptr, instance, nullptr);
    if (!wnd)
        return 1;
    ::ShowWindow(wnd, show);

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
