// The install: from the install button (or the automatic-install timer) to
// the started product, the three download notifications, and the finishing
// button.
#include "installer/UntMain.h"

#include "installer/InstallDir.h"
#include "net/UDownThread.h"
#include "net/UntDownFramework.h"
#include "net/api.h"
#include "system/MyCommonFuns.h"
#include "system/Encoding.h"
#include "system/MyZip.h"
#include "system/PackageCheck.h"
#include "system/PrivateTempDir.h"
#include "system/Resource.h"
#include "system/Process.h"
#include "system/Removal.h"
#include "system/util.h"
#include "ui/UntMsgBox.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

constexpr wchar_t kReadingPackageInfo[] = L"正在读取安装包信息...";
constexpr wchar_t kCheckingOnline[] = L"联网检查配置信息...";
constexpr wchar_t kCheckingEnvironment[] = L"正在检测安装环境...";
constexpr wchar_t kStartingInstall[] = L"开始安装...";
constexpr wchar_t kWritingRegistration[] = L"正在写入注册信息...";
constexpr wchar_t kRetryCaption[] = L"警告";
constexpr wchar_t kRetryQuestion[] = L"网络连接异常，是否尝试重连？";
constexpr wchar_t kInstallFailed[] = L"安装失败，请联系官网客服获取免安装包！";
constexpr wchar_t kNoSpace[] = L"当前分区空间不足，剩余空间小于100M! 请重新选择另一分区安装";
constexpr wchar_t kHttpsRefused[] = L"https not supported! ";
constexpr wchar_t kHttpsMark[] = L"https://";
constexpr wchar_t kEmbeddedBroken[] = L"资源不存在,安装包已损坏!";
constexpr wchar_t kPackageNotTrusted[] = L"安装包未通过厂商签名校验，可能已被篡改，已停止安装！请联系官网客服获取安装包。";
constexpr wchar_t kPackageResource[] = L"zipfile";
constexpr wchar_t kPackagePassword[] = L"402718";
constexpr wchar_t kConfigCopyName[] = L"config.dat";
constexpr wchar_t kPublisher[] = L"velmora software";
constexpr wchar_t kRegsvr32[] = L"regsvr32.exe";
constexpr wchar_t kRegsvr32Switch[] = L"/s-  \"";
constexpr wchar_t kOpenVerb[] = L"open";
constexpr wchar_t kVersionMark[] = L"[Version]";
constexpr wchar_t kFromMark[] = L"[from]";
constexpr int kMinimumFreeMB = 100;

bool hasHttps(const std::wstring& url) { return url.find(kHttpsMark) != std::wstring::npos; }

// Gives the close button back when the sequence returns, whichever way.
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
    if (!FConfigFile)
        return;
    const CloseButtonLock lock(*imgbtnClose);
    try {
        FInstallResult = installSteps();
    } catch (const TZipError& e) {
        ShowMsgBox(e.message());
        FInstallResult = InstallResult::BrokenArchive;
    } catch (const std::exception& e) {
        // A registry value of an association or the protocol that could not
        // be written: the registration ends there.
        ShowMsgBox(win::fromUtf8(e.what()));
        FInstallResult = InstallResult::RegistrationFailed;
    }
}

InstallResult TFrmCommInst::installSteps()
{
    TConfigFile& config = *FConfigFile;
    cnMain->setActivePage(tbProcess);
    Application.processMessages();

    lblWaitingInfo->setCaption(kReadingPackageInfo);
    for (int value = 0; value <= 10; ++value) {
        pbProgress->setPosition(value);
        Application.processMessages();
        ::Sleep(10);
    }

    lblWaitingInfo->setCaption(kCheckingOnline);
    TAPI& api = *processAPI();
    std::wstring url, serverVersion, frameworkUrl;
    if (api.GetSoftDownloadInfo(url, serverVersion, frameworkUrl)) {
        while (url.empty() && askYesNo(handle(), kRetryCaption, kRetryQuestion))
            api.GetSoftDownloadInfo(url, serverVersion, frameworkUrl);
        if (url.empty()) {
            ShowMsgBox(kInstallFailed);
            openUrl(config.ProductURL);
            Application.terminate();
            return InstallResult::NoPackageLink;
        }
    }

    FTargetDir = edtPath->text();
    std::error_code ignored;
    std::filesystem::create_directories(FTargetDir, ignored);
    int freeMB = 0;
    if (getDiskFreeMB(installVolume(FTargetDir), freeMB) && freeMB < kMinimumFreeMB) {
        ShowMsgBox(kNoSpace);
        Application.terminate();
        return InstallResult::NoSpace;
    }

    // From here on the version shown and registered is the service's one.
    config.Version = serverVersion;
    api.ReportInstall();
    if (hasHttps(url)) {
        ShowMsgBox(kHttpsRefused + url);
        return InstallResult::HttpsRefused;
    }

    lblWaitingInfo->setCaption(kCheckingEnvironment);
    Application.processMessages();
    if (FbAutoInst)
        config.DotNetCheck = false;
    if (config.DotNetCheck && !isDotNetInstalled(config.DotNetVerRequired)) {
        if (hasHttps(frameworkUrl)) {
            ShowMsgBox(kHttpsRefused + frameworkUrl);
            return InstallResult::HttpsRefused;
        }
        makeForm<TFrmDownFramework>(frameworkUrl)->ShowModal();
    }

    lblWaitingInfo->setCaption(kStartingInstall);
    Application.processMessages();
    const std::wstring archive = privateTempPath(config.SoftId + L".zip");
    deleteFileForce(archive);

    // Shared with the download worker, which may outlive a sequence that
    // stops waiting for it.
    const auto check = std::make_shared<TPackageCheck>();
    if (resourceExists(kPackageResource, kFileResourceType)) {
        const auto embedded = ownResourceBytes(kPackageResource, kFileResourceType);
        check->update(embedded.data(), embedded.size());
        if (!saveResourceToFile(kPackageResource, kFileResourceType, archive)) {
            showInfo(kEmbeddedBroken);
            Application.setShowMainForm(false);
            Application.terminate();
            return InstallResult::EmbeddedPackageUnwritable;
        }
    } else {
        FDownloadStatus = 0;
        // The worker's notifications are sent messages, handled inside
        // GetMessage without making it return; the finish also posts an empty
        // message so that the loop below wakes up and sees the outcome.
        StartDownload(
            url, archive, [this](TDownThread* s, int64_t max) { idhtp1WorkBegin(s, max); },
            [this](TDownThread* s, int64_t count) { idhtp1Work(s, count); },
            [this](TDownThread* s, int64_t code) {
                idhtp1WorkFinish(s, code);
                ::PostMessageW(handle(), WM_NULL, 0, 0);
            },
            kDownloadTimeouts, [check](const char* data, size_t size) { check->update(data, size); });
        // The finish notification always comes; a program that is ending
        // stops waiting for it.
        while (FDownloadStatus != 2 && FDownloadStatus != -1 && Application.handleMessage()) {
        }
        if (FDownloadStatus != 2)
            return InstallResult::DownloadFailed;
    }

    if (!check->passed()) {
        ShowMsgBox(kPackageNotTrusted);
        return InstallResult::PackageNotTrusted;
    }

    pbProgress->setPosition(70);
    Application.processMessages();
    unZipFile(
        archive, FTargetDir, kPackagePassword,
        [this](int percent) {
            const int value = 70 + static_cast<int>(0.2 * percent);
            if (value != pbProgress->position()) {
                pbProgress->setPosition(value);
                Application.processMessages();
            }
        },
        check->checkedSize());

    lblWaitingInfo->setCaption(kWritingRegistration);
    const std::wstring program = FTargetDir + config.MainProgPath + config.MainProg;
    registerProduct(program);

    for (int value = 90; value <= 100; ++value) {
        pbProgress->setPosition(value);
        Application.processMessages();
        ::Sleep(1);
    }
    pbProgress->setPosition(100);
    cnMain->setActivePage(tbFinish);
    // Quoted: unquoted, a path with a space would start "C:\Program.exe" or
    // the like first, wherever such a file stands.
    const bool started = runAsDesktopUser(L"\"" + program + L"\"", false, true, L"", false) != 0;
    return started ? InstallResult::Installed : InstallResult::NotStarted;
}

void TFrmCommInst::registerProduct(const std::wstring& program)
{
    const TConfigFile& config = *FConfigFile;
    std::wstring desktopLink;
    createDesktopShortcut(program, config.ShortcutName, desktopLink);
    createStartMenuShortcut(program, config.ProgramDirName, config.ShortcutName);
    pinToTaskbar(desktopLink);
    copyFileOverwrite(getExeDir() + getExeFileName(), FTargetDir + L"\\" + kUninstallerName);
    const std::wstring configCopy = getExeDir() + kConfigCopyName;
    if (std::filesystem::exists(configCopy))
        copyFileOverwrite(configCopy, FTargetDir + L"\\" + kConfigCopyName);

    for (const std::wstring& ext : config.AssociatedExts) {
        if (ext.empty())
            continue;
        const std::wstring typeName = fileTypeName(ext);
        registerFileAssociation(ext, typeName, typeName, program, L"");
    }
    if (!config.ProtocalRootKeyName.empty())
        registerUrlProtocol(config.ProtocalRootKeyName, config.Protocalname, program);
    if (!config.RegDllName.empty()) {
        const std::wstring parameters = kRegsvr32Switch + FTargetDir + L"\\" + config.RegDllName + L"\"";
        ::ShellExecuteW(nullptr, kOpenVerb, kRegsvr32, parameters.c_str(), L"", SW_HIDE);
    }
    writeUninstallEntry(config.SoftId, config.ShortcutName, program, FTargetDir, config.Version, kPublisher);
    if (!config.AfterInstBat1.empty())
        shellOpenIn(FTargetDir + L"\\" + config.AfterInstBat1);
    if (!config.AfterInstBat2.empty())
        shellOpenIn(FTargetDir + L"\\" + config.AfterInstBat2);
}

void TFrmCommInst::idhtp1WorkBegin(TDownThread*, int64_t AWorkCountMax)
{
    FTmpWorkCountMax = AWorkCountMax;
    FDownloadStatus = 1;
}

void TFrmCommInst::idhtp1Work(TDownThread*, int64_t AWorkCount)
{
    // Without an announced size the bar stays at 10 until the end.
    if (FTmpWorkCountMax <= 0)
        return;
    // A server that sends more than it announced does not push the bar on.
    const int64_t percent = std::clamp<int64_t>(AWorkCount * 100 / FTmpWorkCountMax, 0, 100);
    pbProgress->setPosition(10 + static_cast<int>(0.8 * static_cast<double>(percent)));
}

void TFrmCommInst::idhtp1WorkFinish(TDownThread*, int64_t ResponseCode)
{
    if (ResponseCode < 0 || ResponseCode > 300) {
        FDownloadStatus = -1;
        ShowMsgBox(kInstallFailed);
        openUrl(FConfigFile->ProductURL);
        Application.terminate();
        return;
    }
    FDownloadStatus = 2;
}

void TFrmCommInst::btnInstallExitClick(TComponent*)
{
    const TConfigFile& config = *FConfigFile;
    if (!config.OpenWebsiteAfterInstall.empty()) {
        std::wstring page = replaceText(config.OpenWebsiteAfterInstall, kVersionMark, config.Version, false);
        page = replaceText(page, kFromMark, config.FromSource, false);
        openUrl(page);
    }
    Close();
}

void TFrmCommInst::tmrAutoInstTimer(TComponent*)
{
    tmrAutoInst->setEnabled(false);
    btnInstallClick(btnInstall);
    // A silent install never leaves a hidden program behind.
    Close();
}
