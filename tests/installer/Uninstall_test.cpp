// The uninstall sequence on an installed product set up by the test: this
// test executable, copied into the installation folder as "unin.exe", runs
// the uninstaller's window in a process of its own (so that the folder it
// clears and the file it deletes are the copy's, never the build's). The
// copy drives the offer window and the boxes from a timer; this process
// serves the vendor service and checks what is left afterwards.
#include "installer/UntMain.h"

#include "net/api.h"
#include "offer/UntBigCoupon.h"
#include "system/Handles.h"
#include "system/MyCommonFuns.h"
#include "system/Registration.h"
#include "system/util.h"
#include "tests/installer/StartedWindow.h"
#include "tests/installer/TestProduct.h"
#include "tests/support/Helper.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ShellFolderRedirect.h"
#include "tests/support/TempDir.h"
#include "tests/ui/ModalScript.h"
#include "tests/ui/UiTest.h"
#include "ui/UntConfirmbox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace testproduct;
using namespace uitest;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr wchar_t kOriginVariable[] = L"UNINSTALL_TEST_ORIGIN";
constexpr wchar_t kDataVariable[] = L"UNINSTALL_TEST_DATA";
constexpr wchar_t kShortcutName[] = L"Mainwin Test";
constexpr wchar_t kInstalledVersion[] = L"9.8.7.5";
constexpr char kReport[] = "/api/report/uninstall";
// The after-uninstall page, a program beside the data folder, with the embedded version in its name.
constexpr wchar_t kPage[] = L"bye_9.8.7.6.exe";

std::wstring environment(const wchar_t* name)
{
    wchar_t value[1024] = {};
    const DWORD n = ::GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? value : L"";
}

// Whether the product's uninstall entry exists (looked at without creating it).
bool uninstallEntryExists()
{
    win::RegKey key;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallEntryPath(kSoftId).c_str(), 0,
                           KEY_READ | kUninstallEntryView, key.put()) == ERROR_SUCCESS;
}

bool isEmptyFolder(const fs::path& folder)
{
    std::error_code ec;
    return fs::is_directory(folder, ec) && fs::is_empty(folder, ec);
}

// ---- In the copy: the uninstaller's side ----------------------------------

// What the main window's uninstall pages showed while a script ran.
struct ProgressWatch {
    void look(const TFrmCommInst& window)
    {
        if (window.cnMain->activePage() != window.tbUninProcess)
            return;
        progressPageSeen = true;
        if (window.imgbtnClose->enabled())
            closeEnabledWhileRemoving = true;
        const int position = window.pbUninstall->position();
        if (position < highestBar)
            barWentBack = true;
        highestBar = std::max(highestBar, position);
    }

    bool closeEnabledWhileRemoving = false;
    bool barWentBack = false;
    int highestBar = -1;
    bool progressPageSeen = false;
};

// Clicks the uninstall button of WINDOW with SCRIPT doing what the user does
// in the forms it opens, and returns once its handler has.
ProgressWatch clickUninstall(TFrmCommInst& window, ModalScript& script)
{
    ProgressWatch watch;
    const POINT at = centreOf(*window.btnUninstall);
    script.run([&] { clickAt(window, at.x, at.y); }, [&] { watch.look(window); });
    return watch;
}

TfrmBigCoupon& offer(TForm& f) { return static_cast<TfrmBigCoupon&>(f); }

// Started by the tests below inside the copy; never runs on its own.
TEST(UninstallerCopy, DISABLED_Run)
{
    const std::wstring origin = environment(kOriginVariable);
    ASSERT_FALSE(origin.empty());
    ASSERT_EQ(getExeFileName(), L"unin.exe");
    setProcessAPIOrigins(origin, origin);
    StartedWindow window;
    ASSERT_NE(window.get(), nullptr);
    ASSERT_EQ(window->cnMain->activePage(), window->tbUninstall);
    // The test product keeps no per-user data of its own: the test names the folder.
    window->configFile()->ConfigPathForUinstall = environment(kDataVariable);
    window->Show();

    // The product runs again after the uninstaller's start-up stopped it.
    const std::wstring product = getExeDir() + kMainProg;
    const fs::path mark = product + L".mark";
    std::wstring command = markHelperCommand(product, mark, 60000);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 fs::path(product).parent_path().c_str(), &si, &pi));
    const win::Handle process(pi.hProcess), thread(pi.hThread);
    ASSERT_TRUE(waitForFile(mark));
    fs::remove(mark);

    ModalScript script;
    script.on(L"TfrmBigCoupon", [](TForm& f) { postClick(f, *offer(f).lblContinue); })
        .confirm()
        .on(L"TfrmBigCoupon", [](TForm& f) { postClick(f, *offer(f).lblContinue2); })
        .confirm();
    const ProgressWatch watch = clickUninstall(*window, script);
    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(watch.progressPageSeen);
    EXPECT_FALSE(watch.closeEnabledWhileRemoving);
    EXPECT_FALSE(watch.barWentBack);
    EXPECT_EQ(window->cnMain->activePage(), window->tbUninFinish);
    EXPECT_EQ(window->pbUninstall->position(), 100);
    EXPECT_TRUE(window->imgbtnClose->enabled());
    EXPECT_EQ(::WaitForSingleObject(process.get(), 0), WAIT_OBJECT_0) << "the running product was stopped";

    // The exit button opens the page with the embedded version, closes the
    // window, and only then sends the uninstaller away to be deleted once
    // the program has ended.
    const fs::path page = fs::path(environment(kDataVariable)).parent_path() / kPage;
    window->configFile()->OpenWebsiteAfterUninstall = (page.parent_path() / L"bye_[version].exe").wstring();
    bool keptAtClose = false;
    window->OnHide = [&](TComponent*) { keptAtClose = fs::exists(getExeDir() + getExeFileName()); };
    const POINT exit = centreOf(*window->btnUninExit);
    clickAt(*window, exit.x, exit.y);
    EXPECT_FALSE(window->visible());
    EXPECT_TRUE(keptAtClose);
    EXPECT_TRUE(waitForFile(page.wstring() + L".mark"));
    EXPECT_FALSE(fs::exists(getExeDir() + getExeFileName()));
}

// ---- In this process: the installed product and the checks ----------------

// Where the product is installed, with the shell's desktop and programs
// folders pointed into the test's own folder.
class UninstallTest : public ::testing::Test {
protected:
    UninstallTest()
        : installDir_(root_ / kProgramDirName), dataDir_(root_ / L"data"),
          desktopRedirect_(L"Desktop", (root_ / L"desktop").wstring()),
          programsRedirect_(L"Programs", (root_ / L"programs").wstring())
    {
        removeTraces();
        deleteUninstallEntry(kSoftId);
        for (const wchar_t* folder : {L"desktop", L"programs"})
            fs::create_directories(root_ / folder);
        server_.onJson("/api/coupon-detail", R"({"code":0,"data":{"status":1,"price":60}})");
        server_.onJson("/api/price_plan",
                       R"({"code":0,"data":[{"plan_name":"P","id":7,"price":"99.9","validity_type":1}]})");
        server_.onJson("/api/notlogin-pay-qr", R"({"code":0,"data":{"url":""}})");
        server_.onJson(kReport, R"({"code":0})");
    }
    ~UninstallTest() override
    {
        killProcessByName(kMainProg);
        waitUntil([] { return !findProcessByName(kMainProg); }, 5s);
        deleteUninstallEntry(kSoftId);
        removeTraces();
    }

    // Installs the product as the install leaves it, with VERSION in its entry.
    void install(const std::wstring& version)
    {
        fs::create_directories(installDir_ / L"lib" / L"deep");
        fs::create_directories(dataDir_ / L"cache");
        uninstaller_ = (installDir_ / L"unin.exe").wstring();
        fs::copy_file(getExeDir() + getExeFileName(), uninstaller_);
        product_ = copyMarkHelper(installDir_, kMainProg);
        copyMarkHelper(root_.path(), kPage);
        writeFile(installDir_ / L"readme.txt", "read me");
        writeFile(installDir_ / L"lib" / L"deep" / L"data.bin", "data");
        ::SetFileAttributesW((installDir_ / L"readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        writeFile(dataDir_ / L"settings.ini", "[a]");
        writeFile(dataDir_ / L"cache" / L"page.html", "<p>");

        writeUninstallEntry(kSoftId, kShortcutName, product_, installDir_.wstring(), uninstaller_, version, L"Tester", 0,
                            L"");
        std::wstring desktopLink;
        ASSERT_TRUE(createDesktopShortcut(product_, kShortcutName, desktopLink));
        ASSERT_TRUE(createStartMenuShortcut(product_, kProgramDirName, kShortcutName));
        ASSERT_TRUE(fs::exists(desktopLink_));
        ASSERT_TRUE(fs::exists(startMenuLink_));

        regWriteString(HKEY_CURRENT_USER, productUserKeyPath(kSoftId), L"source", L"web");
        regWriteString(HKEY_CURRENT_USER, productUserKeyPath(kSoftId), L"guid", L"0123456789ABCDEF0123456789ABCDEF");
    }

    // Runs the installed uninstaller through the copy's test; true when it
    // ended and its own checks passed.
    bool runUninstaller()
    {
        ::SetEnvironmentVariableW(kOriginVariable, server_.worigin().c_str());
        ::SetEnvironmentVariableW(kDataVariable, dataDir_.c_str());
        std::wstring command = L"\"" + uninstaller_ +
                               L"\" --gtest_also_run_disabled_tests --gtest_filter=UninstallerCopy.DISABLED_Run "
                               L"\"/log=" + log_.wstring() + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        const bool started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                              root_.str().c_str(), &si, &pi) != FALSE;
        for (const wchar_t* name : {kOriginVariable, kDataVariable})
            ::SetEnvironmentVariableW(name, nullptr);
        if (!started)
            return false;
        const win::Handle process(pi.hProcess), thread(pi.hThread);
        if (::WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.get(), 9);
            return false;
        }
        DWORD code = 1;
        ::GetExitCodeProcess(process.get(), &code);
        return code == 0;
    }

    void expectProductRemoved()
    {
        EXPECT_FALSE(uninstallEntryExists());
        EXPECT_FALSE(findProcessByName(kMainProg));
        EXPECT_FALSE(fs::exists(desktopLink_));
        EXPECT_FALSE(fs::exists(startMenuLink_));
        EXPECT_TRUE(fs::is_directory(startMenuLink_.parent_path())) << "the start-menu folder stays";
        EXPECT_TRUE(isEmptyFolder(dataDir_)) << "the data folder stays, empty";
        // Only the uninstaller is left, and goes once its process has ended.
        EXPECT_TRUE(waitUntil([&] { return isEmptyFolder(installDir_); }));
        EXPECT_EQ(regReadString(HKEY_CURRENT_USER, productUserKeyPath(kSoftId), L"source"), L"web");
        EXPECT_EQ(regReadString(HKEY_CURRENT_USER, productUserKeyPath(kSoftId), L"guid"),
                  L"0123456789ABCDEF0123456789ABCDEF");
    }

    TempDir root_;
    fs::path installDir_;
    fs::path dataDir_;
    ShellFolderRedirect desktopRedirect_;
    ShellFolderRedirect programsRedirect_;
    fs::path desktopLink_ = root_ / L"desktop" / (std::wstring(kShortcutName) + L".lnk");
    fs::path startMenuLink_ = root_ / L"programs" / kProgramDirName / (std::wstring(kShortcutName) + L".lnk");
    std::wstring uninstaller_;
    std::wstring product_;
    fs::path log_ = root_ / L"uninstall.log";
    LoopbackServer server_;
};

} // namespace

TEST_F(UninstallTest, ConfirmedRemovalReportsThenRemovesTheProduct)
{
    install(kInstalledVersion);
    ASSERT_TRUE(runUninstaller());
    waitUntil([] { return !findProcessByName(kPage); });

    const auto reports = server_.requestsTo(kReport);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].query.find("soft_id=mainwin_test_win"), std::string::npos) << reports[0].query;
    EXPECT_NE(reports[0].query.find("curr_ver=9.8.7.5&"), std::string::npos) << reports[0].query;
    EXPECT_NE(reports[0].query.find("source=web&"), std::string::npos) << reports[0].query;
    expectProductRemoved();

    const std::string log = readFile(log_);
    for (const char* text : {"uninstall mode", "step: removing the product", "/api/report/uninstall?<hidden> -> 200",
                             "uninstall reported for version 9.8.7.5", "step: removed", "exit code: 0"})
        EXPECT_NE(log.find(text), std::string::npos) << text << " is not in:\n" << log;
}

TEST_F(UninstallTest, SpecialFoldersAreNotCleared)
{
    // The product was installed into the documents folder, and its data
    // folder is the music folder.
    fs::create_directories(installDir_);
    fs::create_directories(dataDir_);
    const ShellFolderRedirect documents(L"Personal", installDir_.wstring());
    const ShellFolderRedirect music(L"My Music", dataDir_.wstring());
    install(kInstalledVersion);
    ASSERT_TRUE(runUninstaller());

    EXPECT_EQ(server_.requestsTo(kReport).size(), 1u);
    EXPECT_FALSE(fs::exists(desktopLink_));
    EXPECT_TRUE(fs::exists(installDir_ / L"readme.txt"));
    EXPECT_TRUE(fs::exists(installDir_ / L"lib" / L"deep" / L"data.bin"));
    EXPECT_TRUE(fs::exists(dataDir_ / L"settings.ini"));
    EXPECT_TRUE(fs::exists(dataDir_ / L"cache" / L"page.html"));
}
