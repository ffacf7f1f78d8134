#include "tests/support/DialogAnswerer.h"

#include <windows.h>

namespace {

constexpr wchar_t kDialogClass[] = L"#32770";
// The static control that holds a message box's text.
constexpr int kMessageTextId = 0xFFFF;

struct Search {
    DWORD process;
    HWND found = nullptr;
};

BOOL CALLBACK findBox(HWND wnd, LPARAM param)
{
    auto& search = *reinterpret_cast<Search*>(param);
    DWORD process = 0;
    ::GetWindowThreadProcessId(wnd, &process);
    wchar_t cls[32] = {};
    ::GetClassNameW(wnd, cls, 32);
    if (process == search.process && ::IsWindowVisible(wnd) && std::wstring(cls) == kDialogClass) {
        search.found = wnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

DialogAnswerer::DialogAnswerer() : thread_([this] { watch(); }) {}

DialogAnswerer::~DialogAnswerer()
{
    stop_ = true;
    thread_.join();
}

std::vector<std::wstring> DialogAnswerer::texts() const
{
    std::lock_guard lock(mutex_);
    return texts_;
}

void DialogAnswerer::watch()
{
    while (!stop_) {
        Search search{::GetCurrentProcessId()};
        ::EnumWindows(findBox, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            wchar_t text[2048] = {};
            ::GetDlgItemTextW(search.found, kMessageTextId, text, 2048);
            {
                std::lock_guard lock(mutex_);
                texts_.push_back(text);
            }
            ::SendMessageW(search.found, WM_COMMAND, IDOK, 0);
            // Let the box go away before looking again.
            for (int i = 0; i < 100 && ::IsWindow(search.found); ++i)
                ::Sleep(10);
        }
        ::Sleep(20);
    }
}
