// Paints one of the program's windows into a PNG file without showing it:
// for reviews of a design and for the pictures in the documentation.
//
//   paint_form FORM OUTPUT.png [MESSAGE] [open]
//
// FORM is the window's design name (FrmMsgBox, FrmConfirmbox, FrmCommInst,
// FrmDownFramework); MESSAGE is the text of a box, the page of the main window
// (tbInstall, tbProcess, ...) or the link of the framework window; "open"
// paints the main window with its directory row open.
//
// The main window is created as the program creates it, from the embedded
// demo product: its start-up runs (default folder, pre-install report).
#include "installer/UntMain.h"
#include "net/UntDownFramework.h"
#include "ui/PngImage.h"
#include "ui/UntConfirmbox.h"
#include "ui/UntMsgBox.h"

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace {

struct Window {
    std::wstring_view name;
    std::function<TPicture(const std::wstring& message, bool open)> paint;
};

template <class F>
TPicture paintForm(const std::wstring& message, bool)
{
    return makeForm<F>(message)->paintToPicture();
}

TPicture paintMainWindow(const std::wstring& page, bool open)
{
    const auto form = makeForm<TFrmCommInst>();
    if (!page.empty()) {
        auto* sheet = dynamic_cast<TTabSheet*>(form->findComponent(page));
        if (!sheet)
            throw std::runtime_error("the main window has no such page");
        form->cnMain->setActivePage(sheet);
    }
    // Something to see on the progress pages.
    form->pbProgress->setPosition(45);
    form->pbUninstall->setPosition(45);
    if (open)
        form->imgDown->OnClick(form->imgDown);
    return form->paintToPicture();
}

const Window kWindows[] = {
    {L"FrmMsgBox", paintForm<TFrmMsgBox>},
    {L"FrmConfirmbox", paintForm<TFrmConfirmbox>},
    {L"FrmCommInst", paintMainWindow},
    {L"FrmDownFramework", paintForm<TFrmDownFramework>},
};

int usage()
{
    std::fputws(L"usage: paint_form FORM OUTPUT.png [MESSAGE] [open]\nforms:", stderr);
    for (const auto& w : kWindows)
        std::fwprintf(stderr, L" %ls", std::wstring(w.name).c_str());
    std::fputws(L"\n", stderr);
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return usage();
    const std::wstring message = argc > 3 ? argv[3] : L"";
    const bool open = argc > 4 && std::wstring_view(argv[4]) == L"open";
    for (const auto& w : kWindows) {
        if (!sameText(w.name, argv[1]))
            continue;
        try {
            if (savePngFile(w.paint(message, open), argv[2]))
                return 0;
            std::fwprintf(stderr, L"cannot write %ls\n", argv[2]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
        return 1;
    }
    return usage();
}
