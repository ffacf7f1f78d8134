// The install sequence in process: the main window against a loopback vendor
// service, with the user's desktop and start menu redirected into a
// temporary folder.
#include "installer/UntMain.h"

#include "net/api.h"
#include "system/MyCommonFuns.h"
#include "system/Process.h"
#include "system/Encoding.h"
#include "system/RegValues.h"
#include "system/util.h"
#include "tests/installer/TestProduct.h"
#include "tests/support/DialogAnswerer.h"
#include "tests/support/Helper.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ShellFolderRedirect.h"
#include "tests/support/TempDir.h"
#include "tests/support/ZipMaker.h"
#include "tests/ui/UiTest.h"
#include "ui/UntMsgBox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace uitest;
using namespace testproduct;
namespace fs = std::filesystem;

constexpr wchar_t kInstallFailed[] = L"安装失败，请联系官网客服获取免安装包！";
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\mainwin_test_win";

std::string readBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string softDownAnswer(const std::string& url, const std::string& framework = "")
{
    return R"({"code":0,"msg":"","data":{"url":")" + url + R"(","ver":"3.1.4","framework_url":")" + framework +
           R"("}})";
}

size_t indexOf(const std::vector<LoopbackRequest>& requests, const std::string& path)
{
    for (size_t i = 0; i < requests.size(); ++i)
        if (requests[i].path == path)
            return i;
    return requests.size();
}

class InstallSequenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        removeTraces();
        fs::create_directories(home_ / L"desktop");
        fs::create_directories(home_ / L"programs");
        desktop_.emplace(L"Desktop", (home_ / L"desktop").wstring());
        programs_.emplace(L"Programs", (home_ / L"programs").wstring());
        server_.onJson("/api/report/preinstall", R"({"code":0})");
        server_.onJson("/api/report/install", R"({"code":0})");
        setProcessAPIOrigins(server_.worigin(), server_.worigin());
        form_ = makeForm<TFrmCommInst>();
        form_->Show();
        form_->edtPath->setText(target().wstring());
    }
    void TearDown() override
    {
        form_.reset();
        // The started product may still be ending; its file goes once it has.
        for (int i = 0; i < 100 && findProcessByName(kMainProg); ++i)
            ::Sleep(50);
        deleteUninstallEntry(kSoftId);
        programs_.reset();
        desktop_.reset();
        setProcessAPIOrigins(L"", L"");
        removeTraces();
        quitRequested();
    }

    fs::path target() const { return home_ / L"Product Dir"; }

    // The package: the product's program (the mark helper, which leaves a
    // mark beside itself when started) and a file in a folder.
    void servePackage()
    {
        const fs::path zip = home_ / L"package.zip";
        makeZip(zip, {{"MainwinVictim.exe", readBytes(markHelperPath()), ZipCipher::aes256},
                      {"docs/readme.txt", "read me", ZipCipher::aes256}});
        package_ = readBytes(zip);
        server_.on("/pkg.zip", [this](const LoopbackRequest&) {
            LoopbackReply reply;
            reply.contentType = "application/zip";
            reply.body = package_;
            return reply;
        });
        server_.onJson("/api/config/soft_down", softDownAnswer(server_.origin() + "/pkg.zip"));
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

    // Whether the program asked to end (and forget that it did).
    static bool quitRequested()
    {
        MSG msg;
        return ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
    }

    void expectStoppedOnProgressPage()
    {
        EXPECT_EQ(form_->cnMain->activePage(), form_->tbProcess);
        EXPECT_TRUE(form_->imgbtnClose->visible());
        EXPECT_TRUE(form_->imgbtnClose->enabled());
        EXPECT_TRUE(readInstalledVersion(kSoftId).empty()) << "nothing registered";
    }

    TempDir home_;
    std::optional<ShellFolderRedirect> desktop_, programs_;
    LoopbackServer server_;
    FormPtr<TFrmCommInst> form_;
    std::string package_;
    std::vector<std::wstring> shown_;
};

TEST_F(InstallSequenceTest, InstallsTheDownloadedPackageRegistersAndStartsTheProduct)
{
    servePackage();
    std::vector<int> bar;
    form_->pbProgress->OnChange = [&](TComponent*) {
        // Alt+F4 on the running install neither hides the window nor ends
        // the program.
        if (bar.empty())
            ::PostMessageW(form_->handle(), WM_CLOSE, 0, 0);
        bar.push_back(form_->pbProgress->position());
    };
    Application.setMainForm(form_.get());

    // Hidden, as in a silent install: nothing but the download itself wakes
    // the sequence while it waits.
    form_->Hide();
    form_->btnInstallClick(form_->btnInstall);

    EXPECT_EQ(form_->installResult(), InstallResult::Installed);
    const fs::path dir = target();
    EXPECT_EQ(readBytes(dir / L"docs" / L"readme.txt"), "read me");
    EXPECT_TRUE(fs::exists(dir / L"unin.exe"));
    EXPECT_TRUE(waitForFile(dir / L"MainwinVictim.exe.mark")) << "the product was started";
    EXPECT_TRUE(fs::exists(home_ / L"desktop" / L"Mainwin Test.lnk"));
    EXPECT_TRUE(fs::exists(home_ / L"programs" / kProgramDirName / L"Mainwin Test.lnk"));

    EXPECT_EQ(readInstalledVersion(kSoftId), L"3.1.4") << "the service's version is registered";
    EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, win::fromUtf8(kUninstallKey), L"Publisher"), L"velmora software");
    EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, win::fromUtf8(kUninstallKey), L"UninstallString"),
              (dir / L"unin.exe").wstring());
    EXPECT_EQ(form_->configFile()->Version, L"3.1.4");

    // The install report carries the service's version and goes before the
    // package is fetched.
    const auto requests = server_.requests();
    const size_t report = indexOf(requests, "/api/report/install");
    ASSERT_LT(report, requests.size());
    EXPECT_LT(indexOf(requests, "/api/config/soft_down"), report);
    EXPECT_LT(report, indexOf(requests, "/pkg.zip"));
    EXPECT_NE(requests[report].query.find("curr_ver=3.1.4&"), std::string::npos) << requests[report].query;

    EXPECT_EQ(form_->cnMain->activePage(), form_->tbFinish);
    EXPECT_EQ(form_->lblWaitingInfo->caption(), L"正在写入注册信息...");
    EXPECT_TRUE(form_->imgbtnClose->visible());
    EXPECT_TRUE(form_->imgbtnClose->enabled());

    // From 0 up to 10, the download (at most 90), back to 70, the
    // extraction up to 90, and on to 100.
    ASSERT_GE(bar.size(), 10u + 11u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(bar[i], i + 1);
    const auto back = std::find(bar.begin() + 10, bar.end(), 70);
    ASSERT_NE(back, bar.end());
    for (auto it = bar.begin() + 10; it != back; ++it)
        EXPECT_TRUE(*it >= 10 && *it <= 90) << *it;
    EXPECT_TRUE(std::is_sorted(back, bar.end()));
    EXPECT_EQ(bar.back(), 100);
    EXPECT_FALSE(quitRequested());
}

TEST_F(InstallSequenceTest, RetryQuestionAcceptedAsksAgainDeclinedQuits)
{
    servePackage();
    int asked = 0;
    server_.on("/api/config/soft_down", [&](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.body = softDownAnswer(++asked < 3 ? "" : server_.origin() + "/pkg.zip");
        return reply;
    });
    {
        // Yes twice: the third answer has the link.
        DialogAnswerer yes(L"警告", IDYES);
        form_->btnInstallClick(form_->btnInstall);
        EXPECT_EQ(yes.texts(), (std::vector<std::wstring>{L"网络连接异常，是否尝试重连？", L"网络连接异常，是否尝试重连？"}));
    }
    EXPECT_EQ(form_->installResult(), InstallResult::Installed);
    EXPECT_EQ(asked, 3);

    // No link and the retry declined: the failure message, and the program ends.
    server_.onJson("/api/config/soft_down", softDownAnswer(""));
    const size_t reportsBefore = server_.requestsTo("/api/report/install").size();
    form_->cnMain->setActivePage(form_->tbInstall);
    answerMsgBox();
    {
        DialogAnswerer no(L"警告");
        form_->btnInstallClick(form_->btnInstall);
        EXPECT_EQ(no.texts().size(), 1u);
    }
    EXPECT_EQ(form_->installResult(), InstallResult::NoPackageLink);
    EXPECT_EQ(shown_, std::vector<std::wstring>{kInstallFailed});
    EXPECT_TRUE(quitRequested());
    EXPECT_EQ(server_.requestsTo("/api/report/install").size(), reportsBefore) << "no install report";
}

TEST_F(InstallSequenceTest, HttpsLinksAreRefused)
{
    // An https:// anywhere in a plain-HTTP link counts.
    const std::string url = server_.origin() + "/pkg.zip?mirror=https://example.invalid/p.zip";
    server_.onJson("/api/config/soft_down", softDownAnswer(url, "https://example.invalid/fw.exe"));
    answerMsgBox();
    form_->btnInstallClick(form_->btnInstall);
    EXPECT_EQ(form_->installResult(), InstallResult::HttpsRefused);
    EXPECT_EQ(shown_, std::vector<std::wstring>{L"https not supported! " + win::fromUtf8(url)});
    EXPECT_EQ(server_.requestsTo("/api/report/install").size(), 1u) << "the report goes before the refusal";
    expectStoppedOnProgressPage();
    EXPECT_FALSE(quitRequested()) << "a refused link stops, the window stays";

    // A framework that must be fetched over https.
    shown_.clear();
    server_.onJson("/api/config/soft_down", softDownAnswer(server_.origin() + "/pkg.zip",
                                                           "https://example.invalid/fw.exe"));
    form_->configFile()->DotNetCheck = true;
    form_->configFile()->DotNetVerRequired = L"99";
    answerMsgBox();
    form_->btnInstallClick(form_->btnInstall);
    EXPECT_EQ(form_->installResult(), InstallResult::HttpsRefused);
    EXPECT_EQ(shown_, std::vector<std::wstring>{L"https not supported! https://example.invalid/fw.exe"});
    expectStoppedOnProgressPage();
}

TEST_F(InstallSequenceTest, FailedDownloadQuitsWithoutInstallingAnything)
{
    server_.onJson("/api/config/soft_down", softDownAnswer(server_.origin() + "/missing.zip"));
    answerMsgBox();
    form_->btnInstallClick(form_->btnInstall);
    EXPECT_EQ(form_->installResult(), InstallResult::DownloadFailed);
    EXPECT_EQ(shown_, std::vector<std::wstring>{kInstallFailed});
    EXPECT_TRUE(quitRequested());
    expectStoppedOnProgressPage();
    EXPECT_FALSE(fs::exists(target() / L"unin.exe"));
}

TEST_F(InstallSequenceTest, BrokenArchiveShowsTheErrorAndStops)
{
    server_.on("/pkg.zip", [](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.contentType = "application/zip";
        reply.body = std::string(4096, 'x');
        return reply;
    });
    server_.onJson("/api/config/soft_down", softDownAnswer(server_.origin() + "/pkg.zip"));
    answerMsgBox();
    form_->btnInstallClick(form_->btnInstall);
    EXPECT_EQ(form_->installResult(), InstallResult::BrokenArchive);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_FALSE(shown_[0].empty());
    EXPECT_FALSE(quitRequested());
    expectStoppedOnProgressPage();
    EXPECT_FALSE(fs::exists(target() / L"unin.exe"));
}

TEST_F(InstallSequenceTest, DownloadProgressFollowsTheAnnouncedTotal)
{
    form_->pbProgress->setPosition(10);
    form_->idhtp1WorkBegin(nullptr, 0);
    form_->idhtp1Work(nullptr, 5000);
    EXPECT_EQ(form_->pbProgress->position(), 10) << "no total announced: the bar waits";
    form_->idhtp1WorkBegin(nullptr, 1000);
    form_->idhtp1Work(nullptr, 999);
    EXPECT_EQ(form_->pbProgress->position(), 89);
    // Beyond 2 GB the arithmetic stays right.
    form_->idhtp1WorkBegin(nullptr, 5'000'000'000);
    form_->idhtp1Work(nullptr, 4'000'000'000);
    EXPECT_EQ(form_->pbProgress->position(), 74);
}

TEST_F(InstallSequenceTest, FinishingButtonOpensThePageWithItsPlaceholdersFilled)
{
    // The "page" is a program, so that opening it leaves a mark.
    const fs::path page = copyMarkHelper(home_.path(), L"page_3.1.4_src.exe");
    TConfigFile& config = *form_->configFile();
    config.Version = L"3.1.4";
    config.FromSource = L"src";
    config.OpenWebsiteAfterInstall = (home_ / L"page_[VERSION]_[From].exe").wstring();
    form_->btnInstallExitClick(form_->btnInstallExit);
    EXPECT_TRUE(waitForFile(page.wstring() + L".mark"));
    EXPECT_FALSE(form_->visible());
    for (int i = 0; i < 100 && findProcessByName(page.filename().wstring()); ++i)
        ::Sleep(50);
}

TEST_F(InstallSequenceTest, AutomaticInstallClosesTheWindowAfterAStop)
{
    server_.onJson("/api/config/soft_down", softDownAnswer("https://example.invalid/p.zip"));
    form_->tmrAutoInst->setEnabled(true);
    answerMsgBox();
    form_->tmrAutoInstTimer(form_->tmrAutoInst);
    EXPECT_EQ(shown_.size(), 1u);
    EXPECT_FALSE(form_->tmrAutoInst->enabled());
    EXPECT_FALSE(form_->visible());
    EXPECT_EQ(form_->exitCode(), 0) << "not started with a switch";
}

} // namespace
