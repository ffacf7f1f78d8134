// The uninstaller's two buttons: the retention offer in front of the removal
// engine, and the exit that lets the uninstaller's file be deleted once the
// program has ended.
#include "installer/UntMain.h"

#include "installer/UninstallEngine.h"
#include "net/api.h"
#include "offer/UntBigCoupon.h"
#include "system/Process.h"
#include "system/Removal.h"
#include "system/util.h"

#include <string>

namespace {

// The folder of the running program without its trailing backslash, except
// for a drive root: "C:" alone would name the current folder of drive C:.
std::wstring runningProgramFolder()
{
    std::wstring folder = getExeDir();
    if (folder.size() > 3 && folder.back() == L'\\')
        folder.pop_back();
    return folder;
}

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

} // namespace

void TFrmCommInst::btnUninstallClick(TComponent*)
{
    TAPI* api = processAPI();
    if (!FConfigFile || !api)
        return;
    {
        // The confirmations of the removal are the offer window's own.
        const auto offer = makeForm<TfrmBigCoupon>(*api, [this] { startMainProgram(); });
        offer->ShowModal();
        if (!offer->shouldUninstall())
            return;
    }

    const CloseButtonLock lock(*imgbtnClose);
    FTargetDir = runningProgramFolder();
    cnMain->setActivePage(tbUninProcess);
    UninstallEngine(*FConfigFile, api, observer()).run(FTargetDir);
}

void TFrmCommInst::btnUninExitClick(TComponent*)
{
    if (FConfigFile && !FConfigFile->OpenWebsiteAfterUninstall.empty())
        openUrl(afterUninstallPage(*FConfigFile));
    Close();
    deleteSelf();
}
