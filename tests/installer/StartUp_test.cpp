// The start-up without a window: what it does before the window shows, and
// the refusals, told to a recording observer or written to the log.
#include "installer/StartUp.h"

#include "net/api.h"
#include "system/Encoding.h"
#include "system/Registry.h"
#include "tests/installer/RecordingObserver.h"
#include "tests/installer/TestProduct.h"
#include "tests/support/Helper.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using namespace testproduct;
namespace fs = std::filesystem;

constexpr wchar_t kOldWindows[] = L"当前版本只支持Win7及以上的版本, XP系统无法兼容!";

class StartUpTest : public ProductStartTest {
protected:
    // The test program's own inputs (the test product embedded) with NAME,
    // ARGS and, unless given, its configuration text.
    static StartInputs inputs(const std::wstring& name, std::vector<std::wstring> args)
    {
        StartInputs in = programStartInputs();
        in.exeFileName = name;
        in.args = std::move(args);
        return in;
    }

    struct Refusal {
        std::vector<std::wstring> told;
        int exitCode;
        std::string log;
    };

    // Runs a start-up that must refuse, logging into a file of its own, and
    // finishes the run as the program does.
    Refusal refused(StartInputs in)
    {
        const fs::path log = dir_ / L"start.log";
        fs::remove(log);
        in.args.push_back(L"/log=" + log.wstring());
        RecordingObserver observer;
        StartUp startUp(std::move(in), observer);
        EXPECT_FALSE(startUp.run());
        EXPECT_FALSE(fs::exists(defaultDir())) << "refused before the folder is made";
        startUp.context().finish();
        return {observer.messages, startUp.context().exitCode(), readFile(log)};
    }

    TempDir dir_;
};

TEST_F(StartUpTest, InstallModeStopsTheProductMakesTheFolderAndReportsBeforeAnyWindow)
{
    TempDir productDir;
    const std::wstring victim = copyMarkHelper(productDir.path(), kMainProg);
    const fs::path mark = productDir / L"victim.mark";
    const win::Handle process = startProcess(markHelperCommand(victim, mark, 60000));
    ASSERT_TRUE(process);
    ASSERT_TRUE(waitForFile(mark));

    RecordingObserver observer;
    StartUp startUp(inputs(L"setup.exe", {}), observer);
    ASSERT_TRUE(startUp.run());
    EXPECT_EQ(::WaitForSingleObject(process.get(), 5000), WAIT_OBJECT_0) << "the running product was stopped";
    const RunContext& run = startUp.context();
    ASSERT_NE(run.config(), nullptr);
    EXPECT_TRUE(run.installMode());
    EXPECT_EQ(&run.observer(), &observer);
    EXPECT_TRUE(observer.messages.empty());

    EXPECT_EQ(run.defaultFolder(), defaultDir());
    EXPECT_TRUE(fs::is_directory(defaultDir())) << "the default folder exists at once";
    // The distribution source is kept for the uninstaller.
    EXPECT_EQ(regReadString(HKEY_CURRENT_USER, productUserKeyPath(kSoftId), L"source"), run.config()->FromSource);
    ASSERT_NE(processAPI(), nullptr);
    net::waitForQueuedRequests();
    const auto reports = server_.requestsTo("/api/report/preinstall");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].query.find("soft_id=mainwin_test_win"), std::string::npos) << reports[0].query;
    EXPECT_NE(reports[0].query.find("curr_ver=&"), std::string::npos) << "no version yet: " << reports[0].query;

    startUp.context().finish();
    EXPECT_EQ(processAPI(), nullptr) << "the client goes with the run";
}

TEST_F(StartUpTest, ModeComesFromTheExactFileNameAndEachModeHonoursOnlyItsOwnSwitches)
{
    struct Case {
        const wchar_t* name;
        std::vector<std::wstring> args;
        bool installMode, silent, automaticInstall, silentUninstall;
    };
    const Case cases[] = {
        {L"setup_abc.exe", {}, true, false, false, false},
        {L"setup_abc.exe", {L"/autoinst"}, true, true, true, false},
        {L"setup_abc.exe", {L"/autostart", L"/log"}, true, false, true, false},
        {L"setup_abc.exe", {L"/autouninst"}, true, false, false, false},
        {L"Unin.exe", {}, true, false, false, false},
        {L"unin.exe", {}, false, false, false, false},
        {L"unin.exe", {L"/autoinst"}, false, false, false, false},
        {L"unin.exe", {L"/autouninst"}, false, true, false, true},
    };
    RecordingObserver observer;
    for (const Case& c : cases) {
        StartUp startUp(inputs(c.name, c.args), observer);
        const RunContext& run = startUp.context();
        std::string what = win::toUtf8(c.name);
        for (const std::wstring& arg : c.args)
            what.append(" ").append(win::toUtf8(arg));
        EXPECT_EQ(run.installMode(), c.installMode) << what;
        EXPECT_EQ(run.silent(), c.silent) << what;
        EXPECT_EQ(run.automaticInstall(), c.automaticInstall) << what;
        EXPECT_EQ(run.silentUninstall(), c.silentUninstall) << what;
    }
}

TEST_F(StartUpTest, NoOrBadConfigurationIsRefusedWithItsMessageAndEndsWith10WhenAutomatic)
{
    for (const std::wstring text : {L"", L"not json"}) {
        SCOPED_TRACE(win::toUtf8(text));
        for (const auto& [name, arg, code] : {std::tuple{L"setup.exe", L"/x", 0}, std::tuple{L"setup.exe", L"/autoinst", 10},
                                              std::tuple{L"setup.exe", L"/autostart", 10},
                                              std::tuple{L"unin.exe", L"/autouninst", 10}}) {
            SCOPED_TRACE(win::toUtf8(arg));
            StartInputs in = inputs(name, {arg});
            in.configText = text;
            const Refusal r = refused(std::move(in));
            const bool silent = std::wstring(arg) == L"/autoinst" || std::wstring(arg) == L"/autouninst";
            const std::wstring expected = text.empty() ? L"config data is empty" : L"config data is invalid: ";
            ASSERT_EQ(r.told.size(), silent ? 0u : 1u) << "a silent run tells nobody";
            if (!silent) {
                EXPECT_EQ(r.told[0].rfind(expected, 0), 0u) << win::toUtf8(r.told[0]);
            }
            EXPECT_EQ(r.exitCode, code);
            EXPECT_NE(r.log.find(win::toUtf8(L"message: " + expected)), std::string::npos) << r.log;
            EXPECT_EQ(r.log.find("product: "), std::string::npos) << "there is no product: " << r.log;
            EXPECT_NE(r.log.find("exit code: " + std::to_string(code) + "\r\n"), std::string::npos) << r.log;
            EXPECT_EQ(processAPI(), nullptr);
        }
    }
    EXPECT_EQ(regReadString(HKEY_CURRENT_USER, productUserKeyPath(kSoftId), L"source"), L"");
}

TEST_F(StartUpTest, OldWindowsRefusesTheInstallUnlessTheProductSupportsIt)
{
    for (const auto& [arg, code] : {std::pair{L"/x", 0}, std::pair{L"/autoinst", 10}}) {
        SCOPED_TRACE(win::toUtf8(arg));
        StartInputs in = inputs(L"setup.exe", {arg});
        in.vistaOrLater = false;
        const Refusal r = refused(std::move(in));
        EXPECT_EQ(r.told, (std::vector<std::wstring>(code ? 0 : 1, kOldWindows)));
        EXPECT_EQ(r.exitCode, code);
        EXPECT_NE(r.log.find(win::toUtf8(std::wstring(L"message: ") + kOldWindows + L"\r\n")), std::string::npos)
            << r.log;
        EXPECT_NE(r.log.find("exit code: " + std::to_string(code) + "\r\n"), std::string::npos) << r.log;
    }
    EXPECT_TRUE(server_.requestsTo("/api/report/preinstall").empty()) << "refused before the report";

    // A product that allows old Windows starts there; the uninstaller is
    // never refused.
    RecordingObserver observer;
    StartInputs xp = inputs(L"setup.exe", {});
    xp.vistaOrLater = false;
    xp.configText = LR"({"SoftId": "mainwin_test_win", "ProgramDirName": "Mainwin Test Product", "XPSupported": true})";
    StartUp allowed(std::move(xp), observer);
    EXPECT_TRUE(allowed.run());
    allowed.context().finish();
    StartInputs unin = inputs(L"unin.exe", {});
    unin.vistaOrLater = false;
    StartUp uninstaller(std::move(unin), observer);
    EXPECT_TRUE(uninstaller.run());
    uninstaller.context().finish();
    EXPECT_TRUE(observer.messages.empty());
}

} // namespace
