// The main window's side of the install: the install button runs the engine
// behind a locked close button, the package download reports through the
// window's three handlers, and the finishing button opens the after-install
// page.
#include "installer/UntMain.h"

#include "net/UntDownFramework.h"
#include "net/api.h"
#include "system/Process.h"
#include "system/util.h"

#include <windows.h>

#include <utility>

namespace {

constexpr wchar_t kVersionMark[] = L"[Version]";
constexpr wchar_t kFromMark[] = L"[from]";

// Hides the close button while the install runs and gives it back when the
// sequence returns, whichever way.
class CloseButtonLock {
public:
    explicit CloseButtonLock(TImgBtn& button) : button_(button)
    {
        button_.setEnabled(false);
        button_.setVisible(false);
    }
    CloseButtonLock(const CloseButtonLock&) = delete;
    CloseButtonLock& operator=(const CloseButtonLock&) = delete;
    ~CloseButtonLock()
    {
        button_.setEnabled(true);
        button_.setVisible(true);
    }

private:
    TImgBtn& button_;
};

} // namespace

void TFrmCommInst::btnInstallClick(TComponent*)
{
    TAPI* api = processAPI();
    if (!FRun.config() || !api)
        return;
    const CloseButtonLock lock(*imgbtnClose);
    cnMain->setActivePage(tbProcess);
    Application.processMessages();

    InstallEngine engine(*FRun.config(), *api, observer(), *this);
    FInstall = &engine;
    FRun.installOutcome = engine.run(FRun.silentInstall());
    FInstall = nullptr;
    if (!endsProgram(FRun.installOutcome.result))
        return;
    if (FRun.installOutcome.result == InstallResult::EmbeddedPackageUnwritable)
        Application.setShowMainForm(false);
    Application.terminate();
}

void TFrmCommInst::startPackageDownload(const std::wstring& url, const std::wstring& file, HANDLE into,
                                        TOnBodyData onData)
{
    StartDownload(url, file, FDownloadLink.guard([this](TDownThread* s, int64_t v) { idhtp1WorkBegin(s, v); }),
                  FDownloadLink.guard([this](TDownThread* s, int64_t v) { idhtp1Work(s, v); }),
                  FDownloadLink.guard([this](TDownThread* s, int64_t v) { idhtp1WorkFinish(s, v); }),
                  kDownloadLimits, std::move(onData), into);
}

bool TFrmCommInst::waitForMessage() { return Application.handleMessage(); }

// The path field as it is when the install reaches its disk check: the
// directory button works while the service is asked, and a folder chosen
// then is the one used.
std::wstring TFrmCommInst::installFolder()
{
    FTargetDir = edtPath->text();
    return FTargetDir;
}

void TFrmCommInst::runFrameworkWindow(const std::wstring& url) { makeForm<TFrmDownFramework>(url)->ShowModal(); }

void TFrmCommInst::idhtp1WorkBegin(TDownThread*, int64_t AWorkCountMax)
{
    if (FInstall)
        FInstall->workBegin(AWorkCountMax);
}

void TFrmCommInst::idhtp1Work(TDownThread*, int64_t AWorkCount)
{
    if (FInstall)
        FInstall->work(AWorkCount);
}

void TFrmCommInst::idhtp1WorkFinish(TDownThread*, int64_t ResponseCode)
{
    // A posted message: the install's wait ends with it.
    if (FInstall)
        FInstall->workFinish(ResponseCode);
}

void TFrmCommInst::btnInstallExitClick(TComponent*)
{
    if (std::exchange(FLeaving, true))
        return;
    const TConfigFile& config = *FRun.config();
    if (!config.OpenWebsiteAfterInstall.empty()) {
        std::wstring page =
            replaceText(config.OpenWebsiteAfterInstall, kVersionMark, encodeQueryValue(config.Version), false);
        page = replaceText(page, kFromMark, encodeQueryValue(config.FromSource), false);
        openUrl(page);
    }
    Close();
}

void TFrmCommInst::tmrAutoInstTimer(TComponent*)
{
    tmrAutoInst->setEnabled(false);
    if (FRun.silentUninstall()) {
        silentUninstall();
        return;
    }
    btnInstallClick(btnInstall);
    // A silent install never leaves a hidden program behind.
    Close();
}
