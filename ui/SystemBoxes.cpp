#include "ui/SystemBoxes.h"

#include "ui/Forms.h"

namespace {

HWND mainWindow()
{
    TForm* form = Application.mainForm();
    return form && form->handleAllocated() ? form->handle() : nullptr;
}

} // namespace

bool askYesNo(HWND owner, const std::wstring& caption, const std::wstring& text)
{
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), MB_ICONQUESTION | MB_YESNO) == IDYES;
}

void showInfo(const std::wstring& text)
{
    ::MessageBoxW(mainWindow(), text.c_str(), Application.title().c_str(), MB_ICONINFORMATION);
}

void showPlainMessage(const std::wstring& text)
{
    ::MessageBoxW(mainWindow(), text.c_str(), Application.title().c_str(), MB_OK);
}
