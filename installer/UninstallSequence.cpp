// The uninstaller's two buttons: the retention offer in front of the removal,
// the removal itself behind an animated bar, and the exit that lets the
// uninstaller's file be deleted once the program has ended.
#include "installer/UntMain.h"

#include "net/api.h"
#include "offer/UntBigCoupon.h"
#include "system/MyCommonFuns.h"
#include "system/util.h"

#include <windows.h>

#include <exception>
#include <string>

namespace {

constexpr wchar_t kVersionPlaceholder[] = L"[Version]";
// Pause after each stage of the bar, so that the user sees it.
constexpr DWORD kStagePauseMs = 100;
constexpr DWORD kFastStepMs = 3;
constexpr DWORD kSlowStepMs = 5;
// How long a stopped product may take to go away before its files are
// removed; the removal goes on after it in any case.
constexpr ULONGLONG kProductEndWaitMs = 5000;
constexpr DWORD kProductPollMs = 50;

void animateBar(TProgressBar& bar, int from, int to, DWORD stepMs)
{
    for (int value = from; value <= to; ++value) {
        bar.setPosition(value);
        Application.processMessages();
        ::Sleep(stepMs);
    }
    ::Sleep(kStagePauseMs);
}

// The folder of the running program without its trailing backslash, except
// for a drive root: "C:" alone would name the current folder of drive C:.
std::wstring runningProgramFolder()
{
    std::wstring folder = getExeDir();
    if (folder.size() > 3 && folder.back() == L'\\')
        folder.pop_back();
    return folder;
}

// The version the install registered; "" when the entry is gone or cannot be
// read, and then no report is sent.
std::wstring registeredVersion(const std::wstring& softId)
{
    try {
        return readInstalledVersion(softId);
    } catch (const std::exception&) {
        return {};
    }
}

// Termination does not wait for the process to go, and its program file
// stays in use until it has: wait (bounded) so that the folder can be cleared.
void stopProduct(const std::wstring& mainProg)
{
    if (mainProg.empty())
        return;
    killProcessByName(mainProg);
    const ULONGLONG until = ::GetTickCount64() + kProductEndWaitMs;
    while (findProcessByName(mainProg) && ::GetTickCount64() < until)
        ::Sleep(kProductPollMs);
}

bool isFolder(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// What the uninstall removes, in this order. Nothing here is reported to the
// user: whatever cannot be removed is skipped.
void removeProduct(const TConfigFile& config, const std::wstring& targetDir)
{
    const std::wstring version = registeredVersion(config.SoftId);
    if (!version.empty()) {
        if (TAPI* api = processAPI())
            api->ReportUninstall(version);
    }
    deleteUninstallEntry(config.SoftId);
    stopProduct(config.MainProg);

    const std::wstring mainProgram = targetDir + config.MainProgPath + config.MainProg;
    deleteDesktopShortcut(mainProgram, config.ShortcutName);
    deleteStartMenuShortcut(mainProgram, config.ProgramDirName, config.ShortcutName);

    if (!config.ConfigPathForUinstall.empty() && isFolder(config.ConfigPathForUinstall))
        clearFolder(config.ConfigPathForUinstall);
    clearFolder(targetDir);
    // Removes it only when empty, which it is not while the uninstaller runs
    // from it; an empty special folder must stay all the same.
    if (!isProtectedFolder(targetDir))
        ::RemoveDirectoryW(targetDir.c_str());
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
    ::Sleep(kStagePauseMs);
    animateBar(*pbUninstall, 0, 30, kFastStepMs);
    removeProduct(*FConfigFile, FTargetDir);
    animateBar(*pbUninstall, 31, 80, kFastStepMs);
    animateBar(*pbUninstall, 80, 100, kSlowStepMs);
    cnMain->setActivePage(tbUninFinish);
}

void TFrmCommInst::btnUninExitClick(TComponent*)
{
    if (FConfigFile && !FConfigFile->OpenWebsiteAfterUninstall.empty())
        openUrl(replaceText(FConfigFile->OpenWebsiteAfterUninstall, kVersionPlaceholder,
                            encodeQueryValue(FConfigFile->Version), false));
    Close();
    deleteSelf();
}
