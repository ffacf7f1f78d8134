// The observers that need no window: the silent one, the log, and the
// command line that chooses them.
#include "installer/CommandLine.h"
#include "installer/LogObserver.h"
#include "installer/SilentObserver.h"

#include "net/HttpClient.h"
#include "system/PrivateTempDir.h"
#include "system/util.h"
#include "tests/installer/RecordingObserver.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(SilentObserver, RetriesThreeTimesThenGivesUp)
{
    SilentObserver silent({0ms, 0ms, 0ms});
    EXPECT_TRUE(silent.ask(Question::RetryServiceQuery));
    EXPECT_TRUE(silent.ask(Question::RetryServiceQuery));
    EXPECT_TRUE(silent.ask(Question::RetryServiceQuery));
    EXPECT_FALSE(silent.ask(Question::RetryServiceQuery));
}

TEST(CommandLine, OnlyTheExactFirstArgumentStartsAnAutomaticRunAndLogSwitchesCountAnywhere)
{
    using A = CommandLine::Automatic;
    EXPECT_EQ(parseCommandLine({}).automatic, A::None);
    EXPECT_EQ(parseCommandLine({L"/autoinst"}).automatic, A::Silent);
    EXPECT_EQ(parseCommandLine({L"/autostart", L"/log"}).automatic, A::Visible);
    EXPECT_EQ(parseCommandLine({L"/AUTOINST"}).automatic, A::None);
    EXPECT_EQ(parseCommandLine({L"x", L"/autoinst"}).automatic, A::None);
    EXPECT_EQ(parseCommandLine({L"/autouninst"}).automatic, A::SilentUninstall);
    EXPECT_EQ(parseCommandLine({L"/AUTOUNINST"}).automatic, A::None);

    EXPECT_FALSE(parseCommandLine({L"/autoinst"}).log);
    const CommandLine withPath = parseCommandLine({L"/autoinst", L"x", L"/log=C:\\logs\\a b.log"});
    EXPECT_TRUE(withPath.log);
    EXPECT_EQ(withPath.logPath, L"C:\\logs\\a b.log");
    const CommandLine plain = parseCommandLine({L"/log"});
    EXPECT_TRUE(plain.log);
    EXPECT_TRUE(plain.logPath.empty());
    EXPECT_EQ(plain.automatic, A::None);
    EXPECT_FALSE(parseCommandLine({L"/logfile"}).log);
}

TEST(LogObserver, WritesEveryEventAndPassesItOn)
{
    TempDir dir;
    const fs::path path = dir / L"setup-install.log";
    RecordingObserver next;
    {
        LogObserver log(LogFile::create(path.wstring()), next);
        next.answers = {true};
        log.stage(Stage::CheckingOnline);
        log.progress(42);
        EXPECT_TRUE(log.ask(Question::RetryServiceQuery));
        log.message({L"安装失败，请联系官网客服获取免安装包！"});
        log.error({ErrorKind::Registry, L"uninstall entry value DisplayName", ERROR_ACCESS_DENIED});
        InstallOutcome outcome;
        outcome.result = InstallResult::Installed;
        outcome.skipped = {{L"docs/a.txt", TSkipReason::WrongPassword}, {L"b.dll", TSkipReason::Unwritable, 5}};
        log.outcome(outcome);
        // A request of the process, as the HTTP client reports it.
        net::HttpClient().get("http://127.0.0.1:1/api/config/soft_down?soft_id=x", {});
        log.exitCode(12);
    }
    EXPECT_EQ(next.stages, std::vector<Stage>{Stage::CheckingOnline});
    EXPECT_EQ(next.bar, std::vector<int>{42});
    EXPECT_EQ(next.messages.size(), 1u);
    EXPECT_EQ(next.errors, std::vector<ErrorKind>{ErrorKind::Registry});
    EXPECT_EQ(next.outcomes.size(), 1u);

    const std::string text = readFile(path);
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u) << "UTF-8 with its mark";
    for (const char* line :
         {"step: asking the service for the package", "answer: yes",
          "message: \xE5\xAE\x89\xE8\xA3\x85\xE5\xA4\xB1\xE8\xB4\xA5", "error (registry): uninstall entry value "
          "DisplayName: [5] ", "2 package entries missing", "missing: docs/a.txt (the password does not open it)",
          "missing: b.dll (cannot be written: [5] ", "request: GET http://127.0.0.1:1/api/config/soft_down?<hidden> "
          "-> failed (", "exit code: 12"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_EQ(text.find("soft_id"), std::string::npos) << "no query values";
    // Each line starts with its time stamp.
    EXPECT_NE(text.find("\r\n20"), std::string::npos);
}

TEST(LogSecrets, AddressesKeepSchemeHostAndPathOnly)
{
    EXPECT_EQ(LogObserver::withoutSecrets(L"https not supported! http://u:pw@h:80/p.zip?token=s3cret#x end"),
              L"https not supported! http://h:80/p.zip?<hidden> end");
    EXPECT_EQ(LogObserver::withoutSecrets(L"package http://h/a/b.zip, version 1"),
              L"package http://h/a/b.zip, version 1");
    EXPECT_EQ(LogObserver::withoutSecrets(L"no address here"), L"no address here");
}

// The log never deletes: a file of that name is appended to, a link is
// refused and what it points to untouched.
TEST(LogFile, AppendsToAFileAndRefusesLinks)
{
    TempDir dir;
    const fs::path log = dir / L"p-install.log";
    writeFile(log, "earlier run\r\n");
    {
        const auto file = LogFile::create(log.wstring());
        ASSERT_TRUE(file);
        file->line(L"written");
    }
    const std::string text = readFile(log);
    EXPECT_EQ(text.rfind("earlier run\r\n", 0), 0u) << "kept, and no second mark";
    EXPECT_NE(text.find("written"), std::string::npos);

    const fs::path target = dir / L"elsewhere.txt";
    writeFile(target, "keep me");
    const fs::path linked = dir / L"linked.log";
    ASSERT_TRUE(::CreateHardLinkW(linked.c_str(), target.c_str(), nullptr));
    EXPECT_FALSE(LogFile::create(linked.wstring()));
    EXPECT_EQ(readFile(target), "keep me");
    EXPECT_TRUE(fs::exists(linked));
    fs::create_directories(dir / L"folder.log");
    EXPECT_FALSE(LogFile::create((dir / L"folder.log").wstring()));

    // The user's temporary folder could be pointed anywhere; the system's not.
    EXPECT_EQ(defaultLogPath(L"a/b:c", true), systemTempFolder() + L"a_b_c-install.log");
}

} // namespace
