// TFrmCommInst: the program's main window, in both modes. A borderless,
// fixed-size window with the product banner, six pages that only the program
// switches, a collapsible directory row and its own close button. Creating
// it runs the whole start-up (FormCreate).
#pragma once

#include "app/ConfigFile.h"
#include "installer/InstallResult.h"
#include "ui/ImgBtn.h"
#include "ui/Obj_CommLangForm.h"
#include "ui/StdCtrls.h"
#include "ui/TextImageButton.h"

#include <cstdint>
#include <memory>
#include <string>

class TDownThread;

class TFrmCommInst : public TCommLangForm {
public:
    TFrmCommInst();
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
    // The uninstall: the retention offer, then the removal (UninstallSequence.cpp).
    void btnUninstallClick(TComponent* Sender);
    // Leaves the finished uninstall; the uninstaller's file goes once the program has ended.
    void btnUninExitClick(TComponent* Sender);
    void FormDestroy(TComponent* Sender);
    void FormShow(TComponent* Sender);
    void lblMinimizeClick(TComponent* Sender);
    void pbProgressChange(TComponent* Sender);
    void btnInstallClick(TComponent* Sender);
    void btnInstallExitClick(TComponent* Sender);
    void tmrAutoInstTimer(TComponent* Sender);
    void idhtp1WorkBegin(TDownThread* Sender, int64_t AWorkCountMax);
    void idhtp1Work(TDownThread* Sender, int64_t AWorkCount);
    void idhtp1WorkFinish(TDownThread* Sender, int64_t ResponseCode);

    // Opens the product's main program that sits beside this executable
    // (the retention offer keeps the product this way).
    void startMainProgram();

    // The configuration of this run; null when the start was refused.
    TConfigFile* configFile() const { return FConfigFile.get(); }
    bool directoryRowOpen() const { return FImgDown; }
    bool silentAutoInstall() const { return FbAutoInst; }
    // How the last install ended.
    InstallResult installResult() const { return FInstallResult; }
    // The process exit code: the install's result after an automatic install,
    // 0 for an interactive run.
    int exitCode() const { return FAutomatic ? static_cast<int>(FInstallResult) : 0; }

protected:
    void wndProc(TMessage& message) override;

private:
    // Window heights with the directory row closed and open.
    static constexpr int kRowClosedHeight = 401;
    static constexpr int kRowOpenHeight = 500;

    // Opens or closes the directory row (click on either arrow).
    void imgDownClick(TComponent* Sender);
    void applyOptionalArtwork();
    // The start-up after the design is loaded; false when it was refused
    // (the message has been shown and the end of the program requested).
    bool startUp();
    void prepareInstallPage();
    void fillBanner();
    // The install sequence proper; btnInstallClick adds the close button and
    // the errors that end it.
    InstallResult installSteps();
    // Shortcuts, uninstaller copy, associations, protocol, COM library,
    // uninstall entry and the after-install files of PROGRAM.
    void registerProduct(const std::wstring& program);

    std::unique_ptr<TConfigFile> FConfigFile;
    bool FImgDown = false;
    // Installation directory of the running install or uninstall.
    std::wstring FTargetDir;
    // Total announced for the running download: 64 bits, so that a package
    // above 2 GB still shows the right progress.
    int64_t FTmpWorkCountMax = 0;
    bool FbAutoInst = false;
    // Started with either automatic-install switch.
    bool FAutomatic = false;
    InstallResult FInstallResult = InstallResult::NotRun;
    // 0 started, 1 receiving, 2 finished, -1 failed.
    int FDownloadStatus = 0;
};

// The program's main window while it exists (null otherwise): the other
// windows reach startMainProgram through it.
extern TFrmCommInst* FrmCommInst;
