// The uninstaller's two buttons: the retention offer in front of the removal
// engine, and the exit that lets the uninstaller's file be deleted once the
// program has ended.
#include "installer/UntMain.h"

#include "installer/UninstallEngine.h"
#include "net/api.h"
#include "offer/UntBigCoupon.h"
#include "system/Paths.h"
#include "system/Process.h"
#include "system/util.h"

#include <string>
#include <utility>

namespace {

// The folder of the running program without its trailing backslash, except
// for a drive root.
std::wstring runningProgramFolder() { return withoutTrailingSeparators(getExeDir()); }

// Enables the window's close button again when the sequence returns.
class CloseButtonLock {
public:
    explicit CloseButtonLock(TImgBtn& button) : button_(button) { button_.setEnabled(false); }
    CloseButtonLock(const CloseButtonLock&) = delete;
    CloseButtonLock& operator=(const CloseButtonLock&) = delete;
    ~CloseButtonLock() { button_.setEnabled(true); }

private:
    TImgBtn& button_;
};

// Sets a flag for as long as it lives.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;
    ~FlagScope() { flag_ = false; }

private:
    bool& flag_;
};

} // namespace

void TFrmCommInst::btnUninstallClick(TComponent*)
{
    TAPI* api = processAPI();
    if (!FRun.config() || !api || FPreparingOffer)
        return;
    {
        // The offer asks the service for its contents while this window
        // handles its messages: a second click meanwhile opens no second
        // offer, and a user who closes the program meets no offer.
        FormPtr<TfrmBigCoupon> offer;
        {
            const FlagScope preparing(FPreparingOffer);
            offer = makeForm<TfrmBigCoupon>(*api, [this] { startMainProgram(); });
        }
        if (Application.terminated())
            return;
        // The confirmations of the removal are the offer window's own.
        offer->ShowModal();
        if (!offer->shouldUninstall())
            return;
    }

    const CloseButtonLock lock(*imgbtnClose);
    FTargetDir = runningProgramFolder();
    cnMain->setActivePage(tbUninProcess);
    FRun.uninstallResult = UninstallEngine(*FRun.config(), api, observer()).run(FTargetDir);
}

// Runs from the timer, which a refused start-up never starts.
void TFrmCommInst::silentUninstall()
{
    FTargetDir = runningProgramFolder();
    FRun.uninstallResult = UninstallEngine(*FRun.config(), processAPI(), observer()).run(FTargetDir);
    // Ends as the exit button ends a finished uninstall, without its page.
    Close();
    removeUninstallers(*FRun.config(), FRun.uninstallResult);
}

void TFrmCommInst::btnUninExitClick(TComponent*)
{
    if (std::exchange(FLeaving, true))
        return;
    const TConfigFile* config = FRun.config();
    if (config && !config->OpenWebsiteAfterUninstall.empty())
        openUrl(afterUninstallPage(*config));
    Close();
    if (config)
        removeUninstallers(*config, FRun.uninstallResult);
}
