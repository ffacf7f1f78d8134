// Paints one of the program's windows into a PNG file without showing it:
// for reviews of a design and for the pictures in the documentation.
//
//   paint_form [--dpi=N] FORM OUTPUT.png [MESSAGE]
//   paint_form FrmCommInst OUTPUT.png [PAGE] [open]
//   paint_form FrmDownFramework OUTPUT.png [LINK]
//   paint_form FrmBigCoupon OUTPUT.png [tbCoupon|tbFreeGet] [CONTENT-DIR]
//
// --dpi=N paints the window laid out for N dots per inch (96 by default: 144
// is 150 %, 192 is 200 %).
// FORM is the window's design name (FrmMsgBox, FrmConfirmbox, FrmCommInst,
// FrmDownFramework, FrmBigCoupon); MESSAGE is the text of a box.
// The main window is created as the program creates it, from the embedded
// demo product (its start-up runs: default folder, pre-install report), and
// painted on PAGE (tbInstall, tbProcess, ...), with its directory row open
// when "open" follows. The offer window is filled by the reference vendor
// service on loopback, which serves the payment code "qr.png" from
// CONTENT-DIR; its second page is painted as after a declined offer.
#include "installer/StartUp.h"
#include "installer/UntMain.h"
#include "installer/WindowObserver.h"
#include "net/UntDownFramework.h"
#include "offer/UntBigCoupon.h"
#include "ui/PngImage.h"
#include "ui/UntConfirmbox.h"
#include "ui/UntMsgBox.h"

#include "vendor_service/VendorService.h"

#include "system/Encoding.h"

#include <windows.h>

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

// The product whose offer is painted: the demo, which has an uninstall campaign.
constexpr wchar_t kDemoSoftId[] = L"velnotes_win";
constexpr wchar_t kFreeGetPage[] = L"tbFreeGet";
constexpr wchar_t kRowOpen[] = L"open";

struct Window {
    std::wstring_view name;
    std::function<TPicture(const std::wstring& message, const std::wstring& extra, int dpi)> paint;
};

template <class F>
TPicture paintForm(const std::wstring& message, const std::wstring&, int dpi)
{
    const auto form = makeForm<F>(message);
    form->scaleTo(dpi);
    return form->paintToPicture();
}

TPicture paintMainWindow(const std::wstring& page, const std::wstring& extra, int dpi)
{
    WindowObserver observer;
    StartUp startUp(programStartInputs(), observer);
    if (!startUp.run())
        throw std::runtime_error("the main window's start-up refused to run");
    TPicture picture;
    {
        const auto form = makeForm<TFrmCommInst>(startUp.context(), observer);
        form->scaleTo(dpi);
        if (!page.empty()) {
            auto* sheet = dynamic_cast<TTabSheet*>(form->findComponent(page));
            if (!sheet)
                throw std::runtime_error("the main window has no such page");
            form->cnMain->setActivePage(sheet);
        }
        // Something to see on the progress pages.
        form->pbProgress->setPosition(45);
        form->pbUninstall->setPosition(45);
        if (extra == kRowOpen)
            form->imgDown->OnClick(form->imgDown);
        picture = form->paintToPicture();
    }
    // The pre-install report gets its time to go out.
    startUp.context().finish();
    return picture;
}

TPicture paintOffer(const std::wstring& page, const std::wstring& contentDir, int dpi)
{
    vendor::Options options;
    options.contentDir = contentDir;
    vendor::VendorService service(options);
    if (!service.start())
        throw std::runtime_error("cannot start the reference vendor service");
    const std::wstring origin = win::fromUtf8(service.baseUrl());
    TAPI api(L"", kDemoSoftId, origin, origin);
    const auto form = makeForm<TfrmBigCoupon>(api, nullptr);
    form->scaleTo(dpi);
    if (sameText(page, kFreeGetPage)) {
        form->wbFreeMembere->Navigate(TfrmBigCoupon::freeMemberUrl());
        form->pgMain->setActivePage(form->tbFreeGet);
        form->imgbtnClose->setVisible(true);
    }
    return form->paintToPicture();
}

const Window kWindows[] = {
    {L"FrmMsgBox", paintForm<TFrmMsgBox>},
    {L"FrmConfirmbox", paintForm<TFrmConfirmbox>},
    {L"FrmCommInst", paintMainWindow},
    {L"FrmDownFramework", paintForm<TFrmDownFramework>},
    {L"FrmBigCoupon", paintOffer},
};

int usage()
{
    std::fputws(L"usage: paint_form [--dpi=N] FORM OUTPUT.png [MESSAGE | PAGE [open | CONTENT-DIR] | LINK]\nforms:", stderr);
    for (const auto& w : kWindows)
        std::fwprintf(stderr, L" %ls", std::wstring(w.name).c_str());
    std::fputws(L"\n", stderr);
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    constexpr std::wstring_view kDpiOption = L"--dpi=";
    int dpi = kScreenDpi;
    if (argc > 1 && std::wstring_view(argv[1]).starts_with(kDpiOption)) {
        dpi = _wtoi(argv[1] + kDpiOption.size());
        if (dpi < kScreenDpi / 2)
            return usage();
        --argc;
        ++argv;
    }
    if (argc < 3)
        return usage();
    const std::wstring message = argc > 3 ? argv[3] : L"";
    const std::wstring extra = argc > 4 ? argv[4] : L"";
    for (const auto& w : kWindows) {
        if (!sameText(w.name, argv[1]))
            continue;
        try {
            if (savePngFile(w.paint(message, extra, dpi), argv[2]))
                return 0;
            std::fwprintf(stderr, L"cannot write %ls\n", argv[2]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
        return 1;
    }
    return usage();
}
