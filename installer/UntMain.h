// TFrmCommInst: the program's main window, in both modes. A borderless,
// fixed-size window with the product banner, six pages that only the program
// switches, a collapsible directory row and its own close button. It shows
// and hosts the run that the start-up made (installer/StartUp.h): its buttons
// and the automatic-install timer run the install and uninstall engines,
// which tell the window (or, in a silent install, nobody) and the log what
// happens.
#pragma once

#include "config/ConfigFile.h"
#include "installer/InstallEngine.h"
#include "installer/InstallResult.h"
#include "installer/StartUp.h"
#include "net/UDownThread.h"
#include "ui/ImgBtn.h"
#include "ui/Obj_CommLangForm.h"
#include "ui/StdCtrls.h"
#include "ui/TextImageButton.h"

#include <cstdint>
#include <memory>
#include <string>

class WindowObserver;

class TFrmCommInst : public TCommLangForm, private InstallHost {
public:
    // Hosts RUN, a run the start-up has made (or an empty one, to look at
    // the design); OBSERVER is the run's interactive observer, which shows
    // the run on this window. Both outlive the window.
    TFrmCommInst(RunContext& run, WindowObserver& observer);
    ~TFrmCommInst() override;
    std::wstring_view className() const override { return L"TFrmCommInst"; }
    static const FormDesign& design();

    TPanel* pnl1;
    TImage* imgMain;
    TImgBtn* imgbtnClose;
    TLabel* lblTitle;
    TImage* imgLogo;
    TLabel* lblBigTitle;
    TLabel* lblDescription;
    TLabel* lblPath;
    TEdit* edtPath;
    TTextImageButton* btnChangeInstall;
    TImage* img2;
    TImage* imgLeft;
    TImage* imgRight;
    TImage* imgBottom;
    TPageControl* cnMain;
    TTabSheet* tbInstall;
    TTabSheet* tbProcess;
    TTabSheet* tbFinish;
    TTextImageButton* btnInstall;
    TImage* imgDown;
    TLabel* lblDesOptions;
    TImage* imgUp;
    TLabel* lblDesInstalling;
    TLabel* lblDesInstallComplete;
    TTabSheet* tbUninstall;
    TTabSheet* tbUninProcess;
    TTabSheet* tbUninFinish;
    TProgressBar* pbUninstall;
    TLabel* lblDesUninstalling;
    TImage* Image1;
    TLabel* lblDesUninstallComplete;
    TLabel* lblVersion;
    TTextImageButton* btnInstallExit;
    TTextImageButton* btnUninstall;
    TTextImageButton* btnUninExit;
    TTimer* tmrAutoInst;
    TLinkLabel* lblMinimize;
    TLabel* lblWaitingInfo;
    TProgressBar* pbProgress;
    TLabel* lblPercentNum;

    void imgbtnCloseClick(TComponent* Sender);
    void FormCreate(TComponent* Sender);
    void btnChangeInstallClick(TComponent* Sender);
    // The uninstall: the retention offer, then the removal.
    void btnUninstallClick(TComponent* Sender);
    // Leaves the finished uninstall; the uninstaller's file goes once the program has ended.
    void btnUninExitClick(TComponent* Sender);
    void FormDestroy(TComponent* Sender);
    void FormShow(TComponent* Sender);
    void lblMinimizeClick(TComponent* Sender);
    void pbProgressChange(TComponent* Sender);
    // Runs the install engine into the folder of the path field.
    void btnInstallClick(TComponent* Sender);
    void btnInstallExitClick(TComponent* Sender);
    void tmrAutoInstTimer(TComponent* Sender);
    // The package download's notifications, passed on to the running install.
    void idhtp1WorkBegin(TDownThread* Sender, int64_t AWorkCountMax);
    void idhtp1Work(TDownThread* Sender, int64_t AWorkCount);
    void idhtp1WorkFinish(TDownThread* Sender, int64_t ResponseCode);

    // Opens the product's main program that sits beside this executable
    // (the retention offer keeps the product this way).
    void startMainProgram();

    // The configuration of this run; null in an empty run.
    TConfigFile* configFile() const { return FRun.config(); }
    bool directoryRowOpen() const { return FImgDown; }
    // How the last install ended.
    const InstallOutcome& installOutcome() const { return FRun.installOutcome; }
    // How the last uninstall ended.
    UninstallResult uninstallResult() const { return FRun.uninstallResult; }
    int exitCode() const { return FRun.exitCode(); }
    // Whom the sequences tell: the window itself, or nobody in a silent
    // install; through the log when there is one.
    SequenceObserver& observer() const { return FRun.observer(); }

protected:
    void wndProc(TMessage& message) override;

private:
    // Window heights with the directory row closed and open.
    static constexpr int kRowClosedHeight = 401;
    static constexpr int kRowOpenHeight = 500;

    // Opens or closes the directory row (click on either arrow).
    void imgDownClick(TComponent* Sender);
    void applyOptionalArtwork();
    // The removal without offer, window or box ("/autouninst").
    void silentUninstall();
    void fillBanner();

    // What the install engine needs of the window.
    void startPackageDownload(const std::wstring& url, const std::wstring& file, HANDLE into,
                              TOnBodyData onData) override;
    bool waitForMessage() override;
    std::wstring installFolder() override;
    void runFrameworkWindow(const std::wstring& url) override;

    RunContext& FRun;
    bool FImgDown = false;
    // Installation directory of the running install or uninstall.
    std::wstring FTargetDir;
    // The retention offer is asking the service for its contents.
    bool FPreparingOffer = false;
    // A finishing button was pressed: clicks queued behind it (a double
    // click) open no second page and start no second self-delete.
    bool FLeaving = false;
    // The install running now, which the download's notifications reach.
    InstallEngine* FInstall = nullptr;
    // Drops notifications that come after the window has gone.
    TDownloadLink FDownloadLink;
};

// The program's main window while it exists (null otherwise): the other
// windows reach startMainProgram through it.
extern TFrmCommInst* FrmCommInst;
