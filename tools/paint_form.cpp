// Paints one of the program's windows into a PNG file without showing it:
// for reviews of a design and for the pictures in the documentation.
//
//   paint_form FORM OUTPUT.png [MESSAGE]
//
// FORM is the window's design name (FrmMsgBox, FrmConfirmbox); MESSAGE is the
// text of a box.
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
    std::function<TPicture(const std::wstring& message)> paint;
};

template <class F>
TPicture paintForm(const std::wstring& message)
{
    return makeForm<F>(message)->paintToPicture();
}

const Window kWindows[] = {
    {L"FrmMsgBox", paintForm<TFrmMsgBox>},
    {L"FrmConfirmbox", paintForm<TFrmConfirmbox>},
};

int usage()
{
    std::fputws(L"usage: paint_form FORM OUTPUT.png [MESSAGE]\nforms:", stderr);
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
    for (const auto& w : kWindows) {
        if (!sameText(w.name, argv[1]))
            continue;
        try {
            if (savePngFile(w.paint(message), argv[2]))
                return 0;
            std::fwprintf(stderr, L"cannot write %ls\n", argv[2]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
        return 1;
    }
    return usage();
}
