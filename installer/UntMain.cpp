#include "installer/UntMain.h"

#include "installer/WindowObserver.h"
#include "system/MyZip.h"
#include "system/Resource.h"
#include "ui/PngImage.h"

TFrmCommInst* FrmCommInst = nullptr;

namespace {

// The caption until the product's title replaces it.
constexpr wchar_t kStartCaption[] = L"Install";
constexpr wchar_t kBackgroundResource[] = L"bgpic";
constexpr wchar_t kLogoResource[] = L"logo";
constexpr wchar_t kButtonNormalResource[] = L"btninst01";
constexpr wchar_t kButtonOverResource[] = L"btninst02";
constexpr wchar_t kButtonDownResource[] = L"btninst03";
constexpr int kVersionGap = 10;

// An optional artwork resource of the product, applied only when present
// and a PNG; otherwise the designed picture stays.
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

TFrmCommInst::TFrmCommInst(RunContext& run, WindowObserver& observer)
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
      lblPercentNum(designComponent<TLabel>(*this, L"lblPercentNum")),
      FRun(run)
{
    FrmCommInst = this;
    observer.showOn(*this);
}

TFrmCommInst::~TFrmCommInst()
{
    if (FrmCommInst == this)
        FrmCommInst = nullptr;
}

void TFrmCommInst::FormCreate(TComponent*)
{
    setCaption(kStartCaption);
    FImgDown = false;
    // The arrows get their click before the background-move handler is
    // handed out, so that pressing them toggles the row instead of moving
    // the window.
    imgDown->OnClick = [this](TComponent* sender) { imgDownClick(sender); };
    imgUp->OnClick = [this](TComponent* sender) { imgDownClick(sender); };
    SetbMouseDownToMoveClient(true);
    setClientHeight(kRowClosedHeight);
    if (FRun.silent())
        Application.setShowMainForm(false);
    tmrAutoInst->setEnabled(FRun.runsAutomatically());

    applyOptionalArtwork();
    if (!FRun.config())
        return;
    if (FRun.installMode()) {
        cnMain->setActivePage(tbInstall);
        if (!FRun.defaultFolder().empty())
            edtPath->setText(FRun.defaultFolder());
    } else {
        cnMain->setActivePage(tbUninstall);
    }
    fillBanner();
    for (TTabSheet* page : cnMain->pages()) {
        page->setCaption(L"");
        page->setTabVisible(false);
    }
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

void TFrmCommInst::fillBanner()
{
    const TConfigFile& config = *FRun.config();
    Application.setTitle(config.Title);
    setCaption(config.Title);
    lblTitle->setCaption(config.Title);
    lblVersion->setCaption(config.Version);
    lblDescription->setCaption(config.Description);
    lblBigTitle->setCaption(config.BigTitle);
    lblVersion->setLeft(lblBigTitle->left() + lblBigTitle->width() + kVersionGap);
}

void TFrmCommInst::FormDestroy(TComponent*)
{
    // Out of sight while the last reports get their time to go out (when
    // the run finishes).
    Hide();
}

void TFrmCommInst::FormShow(TComponent*) {}
