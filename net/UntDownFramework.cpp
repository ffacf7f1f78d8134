#include "net/UntDownFramework.h"

#include "system/Process.h"
#include "system/util.h"
#include "ui/UntMsgBox.h"

namespace {

constexpr wchar_t kInstallerFileName[] = L"DotNetFramework.exe";
constexpr wchar_t kDownloadFailed[] = L"下载失败!";
constexpr wchar_t kAboutToInstall[] =
    L"即将开始安装Windows.NetFramework组件（该过程大约耗时2分钟），请您在新弹出的窗口中点击“安装”继续安装。";
constexpr int kStartPosition = 20;
constexpr int64_t kProgressSpan = 80;

bool downloadFailed(int64_t responseCode) { return responseCode < 0 || responseCode > 300; }

} // namespace

const FormDesign& TFrmDownFramework::design()
{
    static const FormDesign d{L"FrmDownFramework", {handler(L"FormShow", &TFrmDownFramework::FormShow)}};
    return d;
}

TFrmDownFramework::TFrmDownFramework(const std::wstring& frameworkUrl)
    : TCommLangForm(nullptr, design(), true, true),
      lblDesc(designComponent<TLabel>(*this, L"lblDesc")),
      lblDownloadProcess(designComponent<TLabel>(*this, L"lblDownloadProcess")),
      pbProgress(designComponent<TProgressBar>(*this, L"pbProgress")),
      lblClickLink(designComponent<TLabel>(*this, L"lblClickLink")),
      LinkLabel1(designComponent<TLinkLabel>(*this, L"LinkLabel1")),
      FFrameworkUrl(frameworkUrl)
{
    pbProgress->setPosition(kStartPosition);
    FExeAddr = getTempDir() + kInstallerFileName;
    StartDownload(
        FFrameworkUrl, FExeAddr,
        link_.guard([this](TDownThread* s, int64_t v) { idhtp1WorkBegin(s, v); }),
        link_.guard([this](TDownThread* s, int64_t v) { idhtp1Work(s, v); }),
        link_.guard([this](TDownThread* s, int64_t v) { idhtp1WorkFinish(s, v); }));
}

void TFrmDownFramework::FormShow(TComponent*)
{
    if (finished_)
        Close();
}

void TFrmDownFramework::idhtp1WorkBegin(TDownThread*, int64_t AWorkCountMax) { FMaxProcess = AWorkCountMax; }

void TFrmDownFramework::idhtp1Work(TDownThread*, int64_t AWorkCount)
{
    // Without an announced total the bar stays where it started.
    if (FMaxProcess <= 0)
        return;
    const int64_t done = AWorkCount < FMaxProcess ? AWorkCount : FMaxProcess;
    pbProgress->setPosition(kStartPosition + static_cast<int>(done * kProgressSpan / FMaxProcess));
}

void TFrmDownFramework::idhtp1WorkFinish(TDownThread*, int64_t ResponseCode)
{
    if (downloadFailed(ResponseCode)) {
        ShowMsgBox(kDownloadFailed);
    } else {
        ShowMsgBox(kAboutToInstall);
        shellOpenIn(FExeAddr);
    }
    finished_ = true;
    link_.detach();
    Close();
}
