#include "installer/WindowObserver.h"

#include "installer/UntMain.h"
#include "ui/SystemBoxes.h"
#include "ui/UntMsgBox.h"

namespace {

constexpr wchar_t kReadingPackageInfo[] = L"正在读取安装包信息...";
constexpr wchar_t kCheckingOnline[] = L"联网检查配置信息...";
constexpr wchar_t kCheckingEnvironment[] = L"正在检测安装环境...";
constexpr wchar_t kStartingInstall[] = L"开始安装...";
constexpr wchar_t kWritingRegistration[] = L"正在写入注册信息...";
constexpr wchar_t kRetryCaption[] = L"警告";
constexpr wchar_t kRetryQuestion[] = L"网络连接异常，是否尝试重连？";

} // namespace

void WindowObserver::showOn(TFrmCommInst& window)
{
    window_ = &window;
    bar_ = window.pbProgress;
}

void WindowObserver::stage(Stage stage)
{
    switch (stage) {
    case Stage::ReadingPackageInfo:
        showStatus(kReadingPackageInfo);
        break;
    case Stage::CheckingOnline:
        showStatus(kCheckingOnline);
        break;
    case Stage::CheckingEnvironment:
        showStatus(kCheckingEnvironment);
        break;
    case Stage::Installing:
        showStatus(kStartingInstall);
        break;
    case Stage::Registering:
        showStatus(kWritingRegistration);
        break;
    case Stage::Installed:
        window_->cnMain->setActivePage(window_->tbFinish);
        break;
    case Stage::Removing:
        bar_ = window_->pbUninstall;
        break;
    case Stage::Removed:
        window_->cnMain->setActivePage(window_->tbUninFinish);
        break;
    }
}

void WindowObserver::showStatus(const wchar_t* text)
{
    bar_ = window_->pbProgress;
    window_->lblWaitingInfo->setCaption(text);
    Application.processMessages();
}

void WindowObserver::progress(int percent)
{
    bar_->setPosition(percent);
    Application.processMessages();
}

bool WindowObserver::ask(Question question)
{
    switch (question) {
    case Question::RetryServiceQuery:
        return askYesNo(window_->handle(), kRetryCaption, kRetryQuestion);
    }
    return false;
}

void WindowObserver::message(const Message& message)
{
    switch (message.style) {
    case MessageStyle::Notice:
        ShowMsgBox(message.text);
        break;
    case MessageStyle::SystemInformation:
        showInfo(message.text);
        break;
    case MessageStyle::SystemPlain:
        showPlainMessage(message.text);
        break;
    }
}
