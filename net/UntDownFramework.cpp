#include "net/UntDownFramework.h"

#include "system/Authenticode.h"
#include "system/PrivateTempDir.h"
#include "system/Process.h"
#include "system/Resource.h"
#include "ui/UntMsgBox.h"

namespace {

constexpr wchar_t kInstallerFileName[] = L"DotNetFramework.exe";
constexpr wchar_t kDownloadFailed[] = L"下载失败!";
constexpr wchar_t kAboutToInstall[] =
    L"即将开始安装Windows.NetFramework组件（该过程大约耗时2分钟），请您在新弹出的窗口中点击“安装”继续安装。";
constexpr wchar_t kNotTrusted[] =
    L"下载的Windows.NetFramework组件安装程序未通过系统的数字签名验证，可能已被篡改，不会运行！请从微软官方网站手动下载安装。";
// The product folder's own allow list of the installer's signers
// (framework-signers.txt); without it, Microsoft's.
constexpr wchar_t kFrameworkSignersResource[] = L"frameworksigners";
constexpr int kStartPosition = 20;
constexpr int64_t kProgressSpan = 80;

bool downloadFailed(int64_t responseCode) { return responseCode < 0 || responseCode > 300; }

// Whether the program at FILE may be started as the framework installer. A
// list that cannot be read pins nobody.
bool isFrameworkInstallerTrusted(const std::wstring& file)
{
    std::vector<CertificateDigest> signers;
    if (ownResourceExists(kFrameworkSignersResource, kFileResourceType)) {
        const auto bytes = ownResourceBytes(kFrameworkSignersResource, kFileResourceType);
        if (!parseCertificateDigests({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, signers) ||
            signers.empty())
            return false;
    }
    LONG status = 0;
    return isSignerPinned(file, signers, status);
}

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
    // Out of reach of unelevated programs from the download to the start:
    // it runs elevated.
    FExeAddr = privateTempPath(kInstallerFileName);
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
    } else if (!isFrameworkInstallerTrusted(FExeAddr)) {
        ShowMsgBox(kNotTrusted);
    } else {
        ShowMsgBox(kAboutToInstall);
        startProgram(FExeAddr, L"", L"");
    }
    finished_ = true;
    link_.detach();
    Close();
}
