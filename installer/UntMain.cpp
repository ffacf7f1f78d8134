#include "installer/UntMain.h"

#include "installer/CommandLine.h"
#include "installer/InstallDir.h"
#include "installer/SilentObserver.h"
#include "installer/WindowObserver.h"
#include "net/api.h"
#include "system/Encoding.h"
#include "system/MyZip.h"
#include "system/Paths.h"
#include "system/Process.h"
#include "system/Registration.h"
#include "system/Resource.h"
#include "system/util.h"
#include "ui/PngImage.h"

#include <windows.h>

#include <exception>
#include <system_error>

TFrmCommInst* FrmCommInst = nullptr;

namespace {

constexpr wchar_t kStartCaption[] = L"Install";
constexpr wchar_t kConfigResource[] = L"configfile";
constexpr wchar_t kBackgroundResource[] = L"bgpic";
constexpr wchar_t kLogoResource[] = L"logo";
constexpr wchar_t kButtonNormalResource[] = L"btninst01";
constexpr wchar_t kButtonOverResource[] = L"btninst02";
constexpr wchar_t kButtonDownResource[] = L"btninst03";
constexpr wchar_t kConfigEmpty[] = L"config data is empty";
constexpr wchar_t kOldWindows[] = L"当前版本只支持Win7及以上的版本, XP系统无法兼容!";
constexpr wchar_t kStarted[] = L"started: ";
constexpr wchar_t kInstallMode[] = L", install mode";
constexpr wchar_t kUninstallMode[] = L", uninstall mode";
constexpr wchar_t kSilentRun[] = L", silent automatic install";
constexpr wchar_t kVisibleRun[] = L", visible automatic install";
constexpr wchar_t kSilentUninstall[] = L", silent uninstall";
constexpr wchar_t kProduct[] = L"product: ";
constexpr wchar_t kWhatStopRunning[] = L"stopping the running ";
constexpr int kVersionGap = 10;

// An optional artwork resource of the product, applied only when present
// and decodable; otherwise the designed picture stays.
template <class Apply>
void applyResourcePicture(const wchar_t* name, Apply apply)
{
    TPicture picture;
    if (resourceExists(name, kFileResourceType) && LoadPngResource(picture, name, kFileResourceType))
        apply(picture);
}

} // namespace

const FormDesign& TFrmCommInst::design()
{
    static const FormDesign d{L"FrmCommInst",
                              {handler(L"imgbtnCloseClick", &TFrmCommInst::imgbtnCloseClick),
                               handler(L"FormCreate", &TFrmCommInst::FormCreate),
                               handler(L"btnChangeInstallClick", &TFrmCommInst::btnChangeInstallClick),
                               handler(L"btnUninstallClick", &TFrmCommInst::btnUninstallClick),
                               handler(L"btnUninExitClick", &TFrmCommInst::btnUninExitClick),
                               handler(L"FormDestroy", &TFrmCommInst::FormDestroy),
                               handler(L"FormShow", &TFrmCommInst::FormShow),
                               handler(L"lblMinimizeClick", &TFrmCommInst::lblMinimizeClick),
                               handler(L"pbProgressChange", &TFrmCommInst::pbProgressChange),
                               handler(L"btnInstallClick", &TFrmCommInst::btnInstallClick),
                               handler(L"btnInstallExitClick", &TFrmCommInst::btnInstallExitClick),
                               handler(L"tmrAutoInstTimer", &TFrmCommInst::tmrAutoInstTimer)}};
    return d;
}

TFrmCommInst::TFrmCommInst()
    : TCommLangForm(nullptr, design()),
      pnl1(designComponent<TPanel>(*this, L"pnl1")),
      imgMain(designComponent<TImage>(*this, L"imgMain")),
      imgbtnClose(designComponent<TImgBtn>(*this, L"imgbtnClose")),
      lblTitle(designComponent<TLabel>(*this, L"lblTitle")),
      imgLogo(designComponent<TImage>(*this, L"imgLogo")),
      lblBigTitle(designComponent<TLabel>(*this, L"lblBigTitle")),
      lblDescription(designComponent<TLabel>(*this, L"lblDescription")),
      lblPath(designComponent<TLabel>(*this, L"lblPath")),
      edtPath(designComponent<TEdit>(*this, L"edtPath")),
      btnChangeInstall(designComponent<TTextImageButton>(*this, L"btnChangeInstall")),
      img2(designComponent<TImage>(*this, L"img2")),
      imgLeft(designComponent<TImage>(*this, L"imgLeft")),
      imgRight(designComponent<TImage>(*this, L"imgRight")),
      imgBottom(designComponent<TImage>(*this, L"imgBottom")),
      cnMain(designComponent<TPageControl>(*this, L"cnMain")),
      tbInstall(designComponent<TTabSheet>(*this, L"tbInstall")),
      tbProcess(designComponent<TTabSheet>(*this, L"tbProcess")),
      tbFinish(designComponent<TTabSheet>(*this, L"tbFinish")),
      btnInstall(designComponent<TTextImageButton>(*this, L"btnInstall")),
      imgDown(designComponent<TImage>(*this, L"imgDown")),
      lblDesOptions(designComponent<TLabel>(*this, L"lblDesOptions")),
      imgUp(designComponent<TImage>(*this, L"imgUp")),
      lblDesInstalling(designComponent<TLabel>(*this, L"lblDesInstalling")),
      lblDesInstallComplete(designComponent<TLabel>(*this, L"lblDesInstallComplete")),
      tbUninstall(designComponent<TTabSheet>(*this, L"tbUninstall")),
      tbUninProcess(designComponent<TTabSheet>(*this, L"tbUninProcess")),
      tbUninFinish(designComponent<TTabSheet>(*this, L"tbUninFinish")),
      pbUninstall(designComponent<TProgressBar>(*this, L"pbUninstall")),
      lblDesUninstalling(designComponent<TLabel>(*this, L"lblDesUninstalling")),
      Image1(designComponent<TImage>(*this, L"Image1")),
      lblDesUninstallComplete(designComponent<TLabel>(*this, L"lblDesUninstallComplete")),
      lblVersion(designComponent<TLabel>(*this, L"lblVersion")),
      btnInstallExit(designComponent<TTextImageButton>(*this, L"btnInstallExit")),
      btnUninstall(designComponent<TTextImageButton>(*this, L"btnUninstall")),
      btnUninExit(designComponent<TTextImageButton>(*this, L"btnUninExit")),
      tmrAutoInst(designComponent<TTimer>(*this, L"tmrAutoInst")),
      lblMinimize(designComponent<TLinkLabel>(*this, L"lblMinimize")),
      lblWaitingInfo(designComponent<TLabel>(*this, L"lblWaitingInfo")),
      pbProgress(designComponent<TProgressBar>(*this, L"pbProgress")),
      lblPercentNum(designComponent<TLabel>(*this, L"lblPercentNum"))
{
    FrmCommInst = this;
}

TFrmCommInst::~TFrmCommInst()
{
    if (FrmCommInst == this)
        FrmCommInst = nullptr;
}

void TFrmCommInst::FormCreate(TComponent*)
{
    if (!startUp())
        Application.terminate();
}

bool TFrmCommInst::startUp()
{
    Application.setTitle(kStartCaption);
    setCaption(kStartCaption);
    FImgDown = false;
    // The arrows get their click before the background-move handler is
    // handed out, so that pressing them toggles the row instead of moving
    // the window.
    imgDown->OnClick = [this](TComponent* sender) { imgDownClick(sender); };
    imgUp->OnClick = [this](TComponent* sender) { imgDownClick(sender); };
    SetbMouseDownToMoveClient(true);
    setClientHeight(kRowClosedHeight);

    // The mode is known from the file name alone; the automatic-install
    // switches only mean something to the installer, "/autouninst" only to
    // the uninstaller.
    const bool installMode = getExeFileName() != kUninstallerName;
    FInstallMode = installMode;
    const CommandLine commandLine = parseCommandLine(programArguments());
    const CommandLine::Automatic automatic = honouredSwitch(commandLine, installMode);
    FbAutoInst = automatic == CommandLine::Automatic::Silent;
    FAutomatic = installMode && automatic != CommandLine::Automatic::None;
    FSilentUninstall = automatic == CommandLine::Automatic::SilentUninstall;
    if (runsSilently(commandLine, installMode))
        Application.setShowMainForm(false);
    tmrAutoInst->setEnabled(automatic != CommandLine::Automatic::None);

    applyOptionalArtwork();

    std::wstring text;
    const bool haveText = resourceExists(kConfigResource, kFileResourceType) &&
                          loadResourceText(kConfigResource, kFileResourceType, true, text) && !text.empty();
    std::wstring configError;
    try {
        if (haveText)
            FConfigFile = std::make_unique<TConfigFile>(text, installMode);
    } catch (const std::exception& e) {
        // Not a usable configuration, or its source could not be stored:
        // nothing can be installed or removed with it.
        configError = win::fromUtf8(e.what());
    }
    setUpObservers(commandLine, installMode);
    if (!haveText) {
        refuseStart(kConfigEmpty);
        return false;
    }
    if (!FConfigFile) {
        refuseStart(configError);
        return false;
    }
    // The service's answers are waited for while the window handles its
    // messages: it keeps painting, and its close button works.
    createProcessAPI(FConfigFile->FromSource, FConfigFile->SoftId, [] { return Application.handleMessage(); });

    if (installMode) {
        if (!FConfigFile->XPSupported && !isVistaOrLater()) {
            refuseStart(kOldWindows);
            return false;
        }
        prepareInstallPage();
    } else {
        cnMain->setActivePage(tbUninstall);
    }

    if (!FConfigFile->MainProg.empty() && !killProcessByName(FConfigFile->MainProg))
        observer().error({ErrorKind::Process, kWhatStopRunning + FConfigFile->MainProg, ::GetLastError()});
    fillBanner();
    for (TTabSheet* page : cnMain->pages()) {
        page->setCaption(L"");
        page->setTabVisible(false);
    }
    return true;
}

void TFrmCommInst::setUpObservers(const CommandLine& commandLine, bool installMode)
{
    if (runsSilently(commandLine, installMode))
        FPersonObserver = std::make_unique<SilentObserver>();
    else
        FPersonObserver = std::make_unique<WindowObserver>(*this);
    if (!commandLine.log)
        return;
    const std::wstring name = FConfigFile ? FConfigFile->SoftId : getExeFileName();
    const std::wstring path = commandLine.logPath.empty() ? defaultLogPath(name, installMode) : commandLine.logPath;
    // Without its file the run goes on unrecorded.
    auto file = LogFile::create(path);
    if (!file)
        return;
    FLogObserver = std::make_unique<LogObserver>(std::move(file), *FPersonObserver);
    std::wstring started = kStarted + getExeFileName() + (installMode ? kInstallMode : kUninstallMode);
    if (FbAutoInst)
        started += kSilentRun;
    else if (FAutomatic)
        started += kVisibleRun;
    else if (FSilentUninstall)
        started += kSilentUninstall;
    FLogObserver->detail(started);
    if (FConfigFile)
        FLogObserver->detail(kProduct + FConfigFile->SoftId + L" " + FConfigFile->Version);
}

SequenceObserver& TFrmCommInst::observer() const
{
    if (FLogObserver)
        return *FLogObserver;
    return *FPersonObserver;
}

void TFrmCommInst::refuseStart(const std::wstring& text)
{
    tmrAutoInst->setEnabled(false);
    Application.setShowMainForm(false);
    observer().message({text});
}

void TFrmCommInst::applyOptionalArtwork()
{
    applyResourcePicture(kBackgroundResource, [this](const TPicture& p) { imgMain->setPicture(p); });
    applyResourcePicture(kLogoResource, [this](const TPicture& p) { imgLogo->setPicture(p); });
    TTextImageButton* const buttons[] = {btnInstall, btnInstallExit, btnUninstall, btnUninExit};
    applyResourcePicture(kButtonNormalResource, [&](const TPicture& p) {
        for (auto* b : buttons)
            b->setBitmap(p);
    });
    applyResourcePicture(kButtonOverResource, [&](const TPicture& p) {
        for (auto* b : buttons)
            b->setBitmapOver(p);
    });
    applyResourcePicture(kButtonDownResource, [&](const TPicture& p) {
        for (auto* b : buttons)
            b->setBitmapDown(p);
    });
}

void TFrmCommInst::prepareInstallPage()
{
    cnMain->setActivePage(tbInstall);
    // The default folder exists from the start, before the user has chosen
    // anything; the install creates whichever folder is finally chosen.
    try {
        const std::wstring dir = joinPath(getLocalAppDataDir(), FConfigFile->ProgramDirName);
        edtPath->setText(dir);
        createFolders(dir);
    } catch (const std::exception&) {
        // No local application-data folder: the user picks a folder.
    }
    // No version has come from the service yet: the report carries none. It
    // goes out in the background: the window does not wait for it.
    processAPI()->ReportPreInstall();
}

void TFrmCommInst::fillBanner()
{
    Application.setTitle(FConfigFile->Title);
    setCaption(FConfigFile->Title);
    lblTitle->setCaption(FConfigFile->Title);
    lblVersion->setCaption(FConfigFile->Version);
    lblDescription->setCaption(FConfigFile->Description);
    lblBigTitle->setCaption(FConfigFile->BigTitle);
    lblVersion->setLeft(lblBigTitle->left() + lblBigTitle->width() + kVersionGap);
}

void TFrmCommInst::FormDestroy(TComponent*)
{
    // Out of sight while the last reports get their time to go out.
    Hide();
    destroyProcessAPI();
    FConfigFile.reset();
    if (FLogObserver)
        FLogObserver->exitCode(exitCode());
}

void TFrmCommInst::FormShow(TComponent*) {}
