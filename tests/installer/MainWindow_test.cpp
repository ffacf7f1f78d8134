#include "installer/UntMain.h"
#include "installer/WindowObserver.h"

#include "net/api.h"
#include "system/Encoding.h"
#include "system/Process.h"
#include "tests/installer/StartedWindow.h"
#include "tests/installer/TestProduct.h"
#include "tests/support/DialogAnswerer.h"
#include "tests/support/Helper.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/ui/UiTest.h"
#include "ui/UntConfirmbox.h"
#include "ui/UntMsgBox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace uitest;
using namespace testproduct;
namespace fs = std::filesystem;

using MainWindowTest = ProductStartTest;

TEST_F(MainWindowTest, ShowsTheRunItIsHanded)
{
    StartedWindow form;
    ASSERT_NE(form.get(), nullptr);
    EXPECT_EQ(form->edtPath->text(), defaultDir());

    EXPECT_EQ(form->caption(), kTitle);
    EXPECT_EQ(Application.title(), kTitle);
    EXPECT_EQ(form->lblTitle->caption(), kTitle);
    EXPECT_FALSE(form->lblTitle->visible());
    EXPECT_EQ(form->lblBigTitle->caption(), kBigTitle);
    EXPECT_EQ(form->lblDescription->caption(), kDescription);
    EXPECT_EQ(form->lblVersion->caption(), kVersion);
    EXPECT_GT(form->lblBigTitle->width(), 100) << "sized to its text";
    EXPECT_GT(form->lblVersion->left(), form->lblBigTitle->left() + form->lblBigTitle->width())
        << "the version follows the title";

    // The product's own logo and normal button picture replace the designed
    // ones (the test product has no "bgpic", "btninst02" or "btninst03").
    EXPECT_EQ(rgbAt(form->imgLogo->picture(), 48, 48), 0xFF0000u);
    for (auto* button : {form->btnInstall, form->btnInstallExit, form->btnUninstall, form->btnUninExit}) {
        EXPECT_EQ(button->bitmap().width(), 12);
        EXPECT_EQ(button->bitmapOver().width(), 165) << "the designed hover picture stays";
    }

    EXPECT_FALSE(form->directoryRowOpen());
    EXPECT_EQ(form->cnMain->activePage(), form->tbInstall);
    for (TTabSheet* page : form->cnMain->pages()) {
        EXPECT_FALSE(page->tabVisible()) << win::toUtf8(page->name());
        EXPECT_EQ(page->caption(), L"");
    }
    EXPECT_FALSE(form->tmrAutoInst->enabled()) << "no switch on this command line";

    form.reset();
    EXPECT_EQ(processAPI(), nullptr) << "the client goes with the run";
}

TEST_F(MainWindowTest, ArrowsOpenAndCloseTheDirectoryRow)
{
    StartedWindow form;
    form->Show();
    // The chevron at the arrow's left; its label covers the rest and, as
    // background, moves the window.
    const POINT at = form->imgDown->originInForm();
    const POINT arrow{at.x + 10, at.y + form->imgDown->height() / 2};
    ASSERT_EQ(form->controlAt(arrow, false), form->imgDown);
    EXPECT_FALSE(movesWindow(*form->imgDown)) << "pressing an arrow must not drag the window";
    EXPECT_TRUE(movesWindow(*form->lblDesOptions));

    clickAt(*form, arrow.x, arrow.y);
    EXPECT_TRUE(form->directoryRowOpen());
    const int openHeight = form->clientHeight();
    EXPECT_FALSE(form->imgDown->visible());
    EXPECT_TRUE(form->imgUp->visible());

    clickAt(*form, arrow.x, arrow.y);
    EXPECT_FALSE(form->directoryRowOpen());
    EXPECT_LT(form->clientHeight(), openHeight) << "the row's room goes";
    EXPECT_TRUE(form->imgDown->visible());
    EXPECT_FALSE(form->imgUp->visible());
}

TEST_F(MainWindowTest, CloseQuestionDeclinedChangesNothingAcceptedCloses)
{
    StartedWindow form;
    form->Show();
    form->imgDown->OnClick(form->imgDown);
    form->cnMain->setActivePage(form->tbFinish);
    const POINT close = centreOf(*form->imgbtnClose);

    std::wstring asked;
    whenModal([&](TForm& box) {
        asked = static_cast<TFrmConfirmbox&>(box).lblMsg->caption();
        const POINT no = centreOf(*static_cast<TFrmConfirmbox&>(box).btnNo);
        clickAt(box, no.x, no.y);
    });
    clickAt(*form, close.x, close.y);
    EXPECT_EQ(asked, L"您确定要退出安装吗?");
    EXPECT_TRUE(form->visible());
    EXPECT_EQ(form->cnMain->activePage(), form->tbFinish);
    EXPECT_TRUE(form->directoryRowOpen());

    whenModal([](TForm& box) {
        const POINT yes = centreOf(*static_cast<TFrmConfirmbox&>(box).btnYes);
        clickAt(box, yes.x, yes.y);
    });
    clickAt(*form, close.x, close.y);
    EXPECT_FALSE(form->visible());
}

// A key as the user types it: through the message loop.
void typeKey(TForm& form, WPARAM key)
{
    ::PostMessageW(form.handle(), WM_KEYDOWN, key, 0);
    Application.processMessages();
}

TEST_F(MainWindowTest, TabReachesEveryActingControlInReadingOrderEscAsksToQuit)
{
    StartedWindow form;
    form->Show();
    form->imgDown->OnClick(form->imgDown);
    EXPECT_EQ(form->focusedControl(), form->btnInstall) << "the page's default";
    const TPicture before = form->paintToPicture();

    std::vector<TControl*> reached;
    for (int i = 0; i < 4; ++i) {
        typeKey(*form, VK_TAB);
        reached.push_back(form->focusedControl());
    }
    EXPECT_EQ(reached, (std::vector<TControl*>{form->imgUp, form->btnChangeInstall, form->imgbtnClose,
                                               form->btnInstall}));
    const TPicture after = form->paintToPicture();
    const RECT button = areaOf(*form->btnInstall);
    int changed = 0;
    for (LONG y = button.top; y < button.bottom; ++y)
        for (LONG x = button.left; x < button.right; ++x)
            changed += rgbAt(before, x, y) != rgbAt(after, x, y);
    EXPECT_GT(changed, 0) << "the focus cue shows";

    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    ::SetKeyboardState(keys);
    typeKey(*form, VK_TAB);
    keys[VK_SHIFT] = 0;
    ::SetKeyboardState(keys);
    EXPECT_EQ(form->focusedControl(), form->imgbtnClose) << "Shift+Tab goes back";

    std::wstring asked;
    whenModal([&](TForm& box) {
        asked = static_cast<TFrmConfirmbox&>(box).lblMsg->caption();
        ::PostMessageW(box.handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    typeKey(*form, VK_ESCAPE);
    EXPECT_EQ(asked, L"您确定要退出安装吗?");
    EXPECT_TRUE(form->visible());
}

TEST_F(MainWindowTest, PercentLabelFollowsTheBar)
{
    StartedWindow form;
    EXPECT_EQ(form->lblPercentNum->caption(), L"0%");
    form->pbProgress->setPosition(37);
    EXPECT_EQ(form->lblPercentNum->caption(), L"37%");
    form->pbProgress->setPosition(100);
    EXPECT_EQ(form->lblPercentNum->caption(), L"100%");
}

TEST_F(MainWindowTest, MinimiseLinkMinimisesTheWindow)
{
    StartedWindow form;
    form->Show();
    form->cnMain->setActivePage(form->tbProcess);
    form->lblMinimize->setVisible(true);
    const POINT link = centreOf(*form->lblMinimize);
    clickAt(*form, link.x, link.y);
    Application.processMessages();
    EXPECT_TRUE(::IsIconic(form->handle()));
}

TEST_F(MainWindowTest, StartMainProgramOpensTheProgramBesideTheExecutable)
{
    StartedWindow form;
    const fs::path program = getExeDir() + kMainProg;
    const fs::path mark = program.wstring() + L".mark";
    ASSERT_TRUE(copyFileOverwrite(markHelperPath(), program.wstring()));
    fs::remove(mark);
    form->startMainProgram();
    ASSERT_TRUE(waitForFile(mark));
    const std::string record = readFile(mark);
    EXPECT_EQ(fs::path(win::fromUtf8(record.substr(0, record.find('\n')))), fs::path(getExeDir()).parent_path())
        << "started in its own folder";
    // The helper may still be ending: its file goes once it has.
    for (int i = 0; i < 100 && findProcessByName(kMainProg); ++i)
        ::Sleep(50);
    fs::remove(mark);
    fs::remove(program);
}

// Whether the program asked to end (and forget that it did).
bool quitRequested()
{
    MSG msg;
    return ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

// The install run from the window's button, with the user's desktop and start
// menu redirected into a temporary folder.
class WindowInstallTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        server_.onJson("/api/report/install", R"({"code":0})");
        started_.emplace();
        form_ = started_->get();
        ASSERT_NE(form_, nullptr);
        form_->Show();
        form_->edtPath->setText((home_ / L"Product Dir").wstring());
    }
    void TearDown() override
    {
        started_.reset();
        quitRequested();
        MainWindowTest::TearDown();
    }

    // Answers the next message box of the program's own and records its text.
    void answerMsgBox()
    {
        whenModal([this](TForm& box) {
            auto& msg = static_cast<TFrmMsgBox&>(box);
            shown_.push_back(msg.lblMsg->caption());
            const POINT ok = centreOf(*msg.btnOK);
            clickAt(box, ok.x, ok.y);
        });
    }

    TestHome home_;
    std::optional<StartedWindow> started_;
    TFrmCommInst* form_ = nullptr;
    std::vector<std::wstring> shown_;
};

TEST_F(WindowInstallTest, ShowsItsPagesAndKeepsTheCloseButtonWhileItRuns)
{
    servePackage(server_, home_.path());
    bool closeUsable = false;
    form_->pbProgress->OnChange = [&](TComponent*) {
        // Alt+F4 on the running install neither hides the window nor ends
        // the program.
        if (form_->pbProgress->position() == 1)
            ::PostMessageW(form_->handle(), WM_CLOSE, 0, 0);
        closeUsable = closeUsable || form_->imgbtnClose->visible() || form_->imgbtnClose->enabled();
    };
    Application.setMainForm(form_);
    // Hidden, as in a silent install: nothing but the download itself wakes
    // the install while it waits.
    form_->Hide();
    form_->btnInstallClick(form_->btnInstall);

    EXPECT_EQ(form_->installOutcome().result, InstallResult::Installed);
    EXPECT_FALSE(closeUsable);
    EXPECT_EQ(form_->cnMain->activePage(), form_->tbFinish);
    EXPECT_EQ(form_->lblWaitingInfo->caption(), L"正在写入注册信息...");
    EXPECT_EQ(form_->pbProgress->position(), 100);
    EXPECT_TRUE(form_->imgbtnClose->visible());
    EXPECT_TRUE(form_->imgbtnClose->enabled());
    EXPECT_FALSE(quitRequested());
    EXPECT_EQ(form_->exitCode(), 0) << "not started with a switch";
}

TEST_F(WindowInstallTest, EnterStartsTheInstallEscDoesNothingWhileItRuns)
{
    servePackage(server_, home_.path());
    form_->pbProgress->OnChange = [&](TComponent*) {
        if (form_->pbProgress->position() == 1)
            ::PostMessageW(form_->handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    };
    bool asked = false;
    whenModal([&](TForm& box) {
        asked = true;
        box.setModalResult(mrCancel);
    });
    typeKey(*form_, VK_RETURN);
    pendingAction() = nullptr;
    EXPECT_EQ(form_->installOutcome().result, InstallResult::Installed);
    EXPECT_FALSE(asked);
    EXPECT_EQ(form_->focusedControl(), form_->btnInstallExit) << "the finished page's default";
}

TEST_F(WindowInstallTest, AssistiveProgramsSeeTheControlsAndPressTheInstallButton)
{
    servePackage(server_, home_.path());
    IAccessible* object = accessibleOf(*form_);
    ASSERT_NE(object, nullptr);
    const long install = accessibleChild(*object, L"一键安装", ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_NE(install, 0);
    EXPECT_NE(accessibleChild(*object, L"关闭", ROLE_SYSTEM_PUSHBUTTON), 0);
    EXPECT_NE(accessibleChild(*object, L"自定义安装", ROLE_SYSTEM_PUSHBUTTON), 0);
    EXPECT_NE(accessibleChild(*object, L"安装路径", ROLE_SYSTEM_STATICTEXT), 0);
    EXPECT_NE(accessibleState(*object, accessibleChild(*object, L"安装完成", ROLE_SYSTEM_PUSHBUTTON)) &
                  STATE_SYSTEM_INVISIBLE,
              0)
        << "the finished page's button is on a hidden page";
    EXPECT_EQ(object->accDoDefaultAction(childId(install)), S_OK);
    Application.processMessages();
    EXPECT_EQ(form_->installOutcome().result, InstallResult::Installed);
    object->Release();
}

TEST_F(WindowInstallTest, AFailureIsShownInItsBoxAndEndsTheProgram)
{
    server_.onJson("/api/config/soft_down", softDownAnswer(server_.origin() + "/missing.zip"));
    answerMsgBox();
    form_->btnInstallClick(form_->btnInstall);
    EXPECT_EQ(form_->installOutcome().result, InstallResult::DownloadFailed);
    EXPECT_EQ(shown_, std::vector<std::wstring>{L"安装失败，请联系官网客服获取免安装包！"});
    EXPECT_TRUE(quitRequested());
    EXPECT_EQ(form_->cnMain->activePage(), form_->tbProcess);
    EXPECT_TRUE(form_->imgbtnClose->enabled());
}

TEST_F(WindowInstallTest, RetryQuestionAndSystemNoticesAreTheSystemsBoxes)
{
    WindowObserver observer;
    observer.showOn(*form_);
    {
        DialogAnswerer yes(L"警告", IDYES);
        EXPECT_TRUE(observer.ask(Question::RetryServiceQuery));
        EXPECT_EQ(yes.texts(), std::vector<std::wstring>{L"网络连接异常，是否尝试重连？"});
    }
    DialogAnswerer notices(kTitle);
    observer.message({L"5", MessageStyle::SystemInformation});
    observer.message({L"DotNet version required", MessageStyle::SystemPlain});
    EXPECT_EQ(notices.texts(), (std::vector<std::wstring>{L"5", L"DotNet version required"}));
}

TEST_F(WindowInstallTest, FinishingButtonOpensThePageWithItsPlaceholdersFilled)
{
    // The "page" is a program, so that opening it leaves a mark. The values
    // go in percent-encoded, like query values.
    const fs::path page = copyMarkHelper(home_.path(), L"page_3.1%20beta_a%26b.exe");
    TConfigFile& config = *form_->configFile();
    config.Version = L"3.1 beta";
    config.FromSource = L"a&b";
    config.OpenWebsiteAfterInstall = (home_ / L"page_[VERSION]_[From].exe").wstring();
    form_->btnInstallExitClick(form_->btnInstallExit);
    ASSERT_TRUE(waitForFile(page.wstring() + L".mark"));
    EXPECT_FALSE(form_->visible());
    // Opened by the desktop's shell, with its rights, not by the installer.
    const std::string mark = readBytes(page.wstring() + L".mark");
    EXPECT_EQ(::lstrcmpiA(mark.substr(mark.rfind('\n', mark.size() - 2) + 1).c_str(), "explorer.exe\n"), 0)
        << mark;
    for (int i = 0; i < 100 && findProcessByName(page.filename().wstring()); ++i)
        ::Sleep(50);
}

TEST_F(WindowInstallTest, AutomaticInstallClosesTheWindowAfterAStop)
{
    server_.onJson("/api/config/soft_down", softDownAnswer("https://example.invalid/p.zip"));
    form_->tmrAutoInst->setEnabled(true);
    answerMsgBox();
    form_->tmrAutoInstTimer(form_->tmrAutoInst);
    EXPECT_EQ(shown_.size(), 1u);
    EXPECT_FALSE(form_->tmrAutoInst->enabled());
    EXPECT_FALSE(form_->visible());
}

} // namespace
