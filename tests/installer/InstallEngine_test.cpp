// The install engine in process, without a window: against a loopback vendor
// service, with the user's desktop and start menu redirected into a
// temporary folder and an observer that records what it is told.
#include "installer/InstallEngine.h"
#include "installer/UninstallEngine.h"

#include "net/RequestQueue.h"
#include "net/UDownThread.h"
#include "system/Encoding.h"
#include "system/Handles.h"
#include "system/Registry.h"
#include "system/PrivateTempDir.h"
#include "system/Registration.h"
#include "system/util.h"
#include "tests/installer/RecordingObserver.h"
#include "tests/installer/TestProduct.h"
#include "ui/Forms.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace testproduct;
namespace fs = std::filesystem;

constexpr wchar_t kInstallFailed[] = L"安装失败，请联系官网客服获取免安装包！";
constexpr wchar_t kTestExtension[] = L".mwtestext";
constexpr wchar_t kTestExtensionType[] = L"mwtestextFile";

bool classesKeyExists(const wchar_t* name)
{
    win::RegKey key;
    return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, name, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

size_t indexOf(const std::vector<LoopbackRequest>& requests, const std::string& path)
{
    for (size_t i = 0; i < requests.size(); ++i)
        if (requests[i].path == path)
            return i;
    return requests.size();
}

// The program around the engine, as the main window is: the download's
// notifications go straight to the engine, and the framework window is only
// recorded.
class TestHost : public InstallHost {
public:
    void startPackageDownload(const std::wstring& url, const std::wstring& file, HANDLE into,
                              TOnBodyData onData) override
    {
        writable.push_back(openableForWriting(file));
        StartDownload(
            url, file, [this](TDownThread*, int64_t total) { engine->workBegin(total); },
            [this](TDownThread*, int64_t count) { engine->work(count); },
            [this, file](TDownThread*, int64_t code) {
                writable.push_back(openableForWriting(file));
                engine->workFinish(code);
            },
            kDownloadLimits, std::move(onData), into);
    }
    bool waitForMessage() override { return Application.handleMessage(); }
    std::wstring installFolder() override { return folder; }
    void runFrameworkWindow(const std::wstring& url) override { frameworkWindows.push_back(url); }
    bool freeMegabytes(const std::wstring&, int& megabytes) override
    {
        megabytes = freeMB;
        return true;
    }

    static bool openableForWriting(const std::wstring& file)
    {
        return static_cast<bool>(win::FileHandle(::CreateFileW(file.c_str(), GENERIC_WRITE,
                                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                               nullptr, OPEN_EXISTING, 0, nullptr)));
    }

    InstallEngine* engine = nullptr;
    // Whether another writer could open the package when the download
    // started and when it ended.
    std::vector<bool> writable;
    std::vector<std::wstring> frameworkWindows;
    int freeMB = 1000;
    // The path field's text.
    std::wstring folder;
};

class InstallEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        removeTraces();
        server_.onJson("/api/report/install", R"({"code":0})");
        std::wstring text;
        ASSERT_TRUE(loadResourceText(L"configfile", L"file", true, text));
        config_.emplace(text, true);
        api_.emplace(L"web", kSoftId, server_.worigin(), server_.worigin());
        host_.folder = target().wstring();
        config_->ProductURL = copyMarkHelper(home_.path(), L"product page.exe");
    }
    void TearDown() override
    {
        removeTraces();
        for (const wchar_t* key : {kTestExtension, kTestExtensionType})
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
    }

    fs::path target() const { return home_ / L"Product Dir"; }

    InstallOutcome install(bool silent = false)
    {
        InstallEngine engine(*config_, *api_, observer_, host_);
        host_.engine = &engine;
        return engine.run(silent);
    }

    void expectNothingRegistered() { EXPECT_TRUE(readInstalledVersion(kSoftId).empty()); }

    // The product's page is a program here, so that opening it leaves a mark;
    // true once it has been opened (and has ended).
    bool productPageOpened()
    {
        const bool opened = waitForFile(config_->ProductURL + L".mark");
        waitUntil([] { return !findProcessByName(L"product page.exe"); });
        return opened;
    }

    TestHome home_;
    LoopbackServer server_;
    std::optional<TConfigFile> config_;
    std::optional<TAPI> api_;
    RecordingObserver observer_;
    TestHost host_;
};

TEST_F(InstallEngineTest, InstallsTheDownloadedPackageRegistersAndStartsTheProduct)
{
    servePackage(server_, home_.path());
    host_.freeMB = 100; // just enough
    // As "*.mwtestext|" reads: the empty entry registers nothing.
    config_->AssociatedExts = {kTestExtension, L""};
    const InstallOutcome outcome = install();

    EXPECT_EQ(outcome.result, InstallResult::Installed);
    EXPECT_TRUE(outcome.productStarted);
    EXPECT_TRUE(outcome.skipped.empty());
    EXPECT_EQ(exitCode(true, outcome), 0);
    const fs::path dir = target();
    EXPECT_EQ(readBytes(dir / L"docs" / L"readme.txt"), "read me");
    EXPECT_TRUE(fs::exists(dir / L"unin.exe"));
    EXPECT_TRUE(waitForFile(dir / L"MainwinVictim.exe.mark")) << "the product was started";
    EXPECT_TRUE(fs::exists(home_ / L"desktop" / L"Mainwin Test.lnk"));
    EXPECT_TRUE(fs::exists(home_ / L"programs" / kProgramDirName / L"Mainwin Test.lnk"));

    EXPECT_EQ(readInstalledVersion(kSoftId), L"3.1.4") << "the service's version is registered";
    EXPECT_EQ(host_.writable, (std::vector<bool>{false, false})) << "the package is the install's alone";
    const std::wstring key = uninstallEntryPath(kSoftId);
    EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, key, L"Publisher", kUninstallEntryView), L"velmora software");
    // The entry names the copy only administrators can change.
    const fs::path registered = fs::path(uninstallerFolder(kSoftId)) / L"unin.exe";
    EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, key, L"UninstallString", kUninstallEntryView),
              L"\"" + registered.wstring() + L"\"");
    EXPECT_EQ(readBytes(registered), readBytes(dir / L"unin.exe"));
    EXPECT_EQ(config_->Version, L"3.1.4");
    EXPECT_EQ(regReadString(HKEY_CLASSES_ROOT, kTestExtension, L""), kTestExtensionType);
    EXPECT_FALSE(classesKeyExists((fileTypeName(L"") + L"\\shell\\open\\command").c_str()));

    // The install report carries the service's version and goes before the
    // package is fetched.
    const auto requests = server_.requests();
    const size_t report = indexOf(requests, "/api/report/install");
    ASSERT_LT(report, requests.size());
    EXPECT_LT(indexOf(requests, "/api/config/soft_down"), report);
    EXPECT_LT(report, indexOf(requests, "/pkg.zip"));
    EXPECT_NE(requests[report].query.find("curr_ver=3.1.4&"), std::string::npos) << requests[report].query;

    EXPECT_EQ(observer_.stages, (std::vector<Stage>{Stage::ReadingPackageInfo, Stage::CheckingOnline,
                                                    Stage::CheckingEnvironment, Stage::Installing,
                                                    Stage::Registering, Stage::Installed}));
    EXPECT_TRUE(observer_.messages.empty());
    // From 0 up to 10, the download (at most 90), back to 70, the
    // extraction up to 90, and on to 100.
    const std::vector<int>& bar = observer_.bar;
    ASSERT_GE(bar.size(), 11u + 11u);
    for (int i = 0; i <= 10; ++i)
        EXPECT_EQ(bar[i], i);
    const auto back = std::find(bar.begin() + 11, bar.end(), 70);
    ASSERT_NE(back, bar.end());
    for (auto it = bar.begin() + 11; it != back; ++it)
        EXPECT_TRUE(*it >= 10 && *it <= 90) << *it;
    EXPECT_TRUE(std::is_sorted(back, bar.end()));
    EXPECT_EQ(bar.back(), 100);
    EXPECT_TRUE(host_.frameworkWindows.empty());
}

// Installed and registered all the same; the log says why it did not start.
TEST_F(InstallEngineTest, AProductThatCannotBeStartedEndsWith9)
{
    servePackage(server_, home_.path());
    config_->MainProg = L"docs\\readme.txt";
    const InstallOutcome outcome = install(true);
    EXPECT_EQ(outcome.result, InstallResult::Installed);
    EXPECT_FALSE(outcome.productStarted);
    EXPECT_EQ(exitCode(true, outcome), 9);
    ASSERT_FALSE(observer_.errors.empty());
    EXPECT_EQ(observer_.errors.back(), ErrorKind::Process);
}

TEST_F(InstallEngineTest, LessThan100MegabytesFreeStopsBeforeTheReport)
{
    servePackage(server_, home_.path());
    host_.freeMB = 99;
    const InstallOutcome outcome = install(true);
    EXPECT_EQ(outcome.result, InstallResult::NoSpace);
    EXPECT_EQ(exitCode(true, outcome), 3);
    EXPECT_EQ(observer_.messages,
              std::vector<std::wstring>{L"当前分区空间不足，剩余空间小于100M! 请重新选择另一分区安装"});
    EXPECT_TRUE(server_.requestsTo("/api/report/install").empty());
    EXPECT_TRUE(server_.requestsTo("/pkg.zip").empty());
    expectNothingRegistered();
}

// Chosen while the service is asked, the folder is the one used: it is taken
// at the disk check.
TEST_F(InstallEngineTest, FolderChosenDuringTheServiceQueryIsTheOneInstalledInto)
{
    servePackage(server_, home_.path());
    const fs::path chosen = home_ / L"Chosen Dir";
    const std::string answer = softDownAnswer(server_.origin() + "/pkg.zip");
    server_.on("/api/config/soft_down", [&](const LoopbackRequest&) {
        host_.folder = chosen.wstring();
        LoopbackReply reply;
        reply.body = answer;
        return reply;
    });
    EXPECT_EQ(install().result, InstallResult::Installed);
    EXPECT_EQ(readBytes(chosen / L"docs" / L"readme.txt"), "read me");
    EXPECT_FALSE(fs::exists(target() / L"docs"));
}

TEST_F(InstallEngineTest, SkippedEntriesStillRegisterAndAreTold)
{
    servePackage(server_, home_.path(), {{"../outside.txt", "x"}, {"locked.txt", "new"}});
    fs::create_directories(target());
    std::ofstream(target() / L"locked.txt") << "old";
    ::SetFileAttributesW((target() / L"locked.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    const InstallOutcome outcome = install();

    EXPECT_EQ(outcome.result, InstallResult::Installed);
    EXPECT_EQ(readBytes(target() / L"locked.txt"), "new") << "a planted read-only file is replaced";
    ASSERT_EQ(outcome.skipped.size(), 1u);
    EXPECT_EQ(outcome.skipped[0].reason, TSkipReason::UnsafeName);
    EXPECT_EQ(readInstalledVersion(kSoftId), L"3.1.4") << "registered all the same";
    EXPECT_EQ(exitCode(true, outcome), 12);
    EXPECT_EQ(exitCode(false, outcome), 0) << "an interactive run always ends with 0";
    ASSERT_EQ(observer_.outcomes.size(), 1u);
    EXPECT_EQ(observer_.outcomes[0].skipped.size(), 1u);
}

// A planted file that stays in use, in use as a running program is, keeps
// its bytes: the package's (at the extraction) or the installer's own copy
// (at the registration). The install stops rather than leave them to be run.
TEST_F(InstallEngineTest, AFileThatCannotBeReplacedStopsTheInstallBeforeAnythingRuns)
{
    servePackage(server_, home_.path());
    for (const wchar_t* name : {kMainProg, L"unin.exe"}) {
        SCOPED_TRACE(win::toUtf8(name));
        writeFile(target() / name, "planted");
        const win::FileHandle busy(::CreateFileW((target() / name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                 OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(busy);
        observer_ = {};
        const InstallOutcome outcome = install(true);
        EXPECT_EQ(outcome.result, InstallResult::FileNotReplaced);
        EXPECT_EQ(exitCode(true, outcome), 14);
        EXPECT_FALSE(outcome.productStarted);
        EXPECT_EQ(observer_.messages, std::vector<std::wstring>{
                                          L"安装目录中已有的文件无法替换，已停止安装！请关闭正在运行的程序后重试。"});
        ASSERT_FALSE(observer_.failures.empty());
        EXPECT_NE(observer_.failures.back().find(name), std::wstring::npos) << "the log names the file";
        EXPECT_EQ(readBytes(target() / name), "planted");
        expectNothingRegistered();
    }
}

// The package's after-install files and COM library run only with the bytes
// the install extracted; a file swapped in after the extraction, one the
// package does not hold, or one that is neither a program nor a batch file
// is not run.
TEST_F(InstallEngineTest, AfterInstallFilesAndTheComLibraryRunOnlyAsExtracted)
{
    const fs::path ran = home_ / L"ran.txt";
    const auto script = [&](const char* text) {
        return std::string("@echo ") + text + ">>\"" + win::toUtf8(ran.wstring()) + "\"\r\n";
    };
    servePackage(server_, home_.path(),
                 {{"after.bat", script("package"), ZipCipher::aes256},
                  {"swapped.cmd", script("package swapped"), ZipCipher::aes256},
                  {"notes.txt", "notes", ZipCipher::aes256},
                  {"after.exe", readBytes(markHelperPath()), ZipCipher::aes256}});
    config_->AfterInstBat1 = L"after.bat";
    config_->AfterInstBat2 = L"swapped.cmd";
    config_->RegDllName = L"planted.dll";
    fs::create_directories(target());
    std::ofstream(target() / L"planted.dll") << "planted";
    observer_.onStage = [&](Stage stage) {
        if (stage == Stage::Registering)
            std::ofstream(target() / L"swapped.cmd", std::ios::binary) << script("planted");
    };

    EXPECT_EQ(install(true).result, InstallResult::Installed);
    ASSERT_TRUE(waitForFile(ran));
    // Every script the install started has ended.
    EXPECT_TRUE(waitUntil([] { return !findProcessByName(L"cmd.exe"); }));
    EXPECT_EQ(readBytes(ran), "package\r\n") << "only the package's own script ran";
    const auto told = [&](const fs::path& file) {
        return std::count_if(observer_.failures.begin(), observer_.failures.end(), [&](const std::wstring& what) {
            return what.find(file.wstring()) != std::wstring::npos;
        });
    };
    EXPECT_EQ(told(target() / L"swapped.cmd"), 1);
    EXPECT_EQ(told(target() / L"planted.dll"), 1);

    // Any other kind of file would be opened by a handler of the user's
    // choice; a program of the package's is started.
    config_->AfterInstBat1 = L"notes.txt";
    config_->AfterInstBat2 = L"after.exe";
    config_->RegDllName = L"";
    observer_.onStage = nullptr;
    EXPECT_EQ(install(true).result, InstallResult::Installed);
    EXPECT_EQ(told(target() / L"notes.txt"), 1);
    EXPECT_TRUE(waitForFile(target() / L"after.exe.mark"));
    EXPECT_TRUE(waitUntil([] { return !findProcessByName(L"after.exe"); }));
}

TEST_F(InstallEngineTest, ADefaultFolderThatIsALinkIsRefusedBeforeAnythingIsWritten)
{
    servePackage(server_, home_.path());
    // The link goes with the test's folder.
    fs::create_directories(home_ / L"local");
    const ShellFolderRedirect local(L"Local AppData", (home_ / L"local").wstring());
    const fs::path elsewhere = home_ / L"another program";
    fs::create_directories(elsewhere);
    if (!makeLink(defaultDir(), elsewhere))
        GTEST_SKIP() << "links cannot be made here";
    host_.folder = defaultDir();
    // Wine shows a Unix link by its name only: the handle-based half of the
    // check (a junction opened as itself) holds on Windows.
    const InstallOutcome outcome = install(true);

    EXPECT_EQ(outcome.result, InstallResult::LinkedInstallFolder);
    EXPECT_EQ(exitCode(true, outcome), 15);
    EXPECT_EQ(observer_.messages.size(), 1u);
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_TRUE(server_.requestsTo("/pkg.zip").empty());
    expectNothingRegistered();
}

TEST_F(InstallEngineTest, RetryQuestionAcceptedAsksAgainDeclinedQuits)
{
    servePackage(server_, home_.path());
    int asked = 0;
    server_.on("/api/config/soft_down", [&](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.body = softDownAnswer(++asked < 3 ? "" : server_.origin() + "/pkg.zip");
        return reply;
    });
    // Yes twice: the third answer has the link.
    observer_.answers = {true, true};
    EXPECT_EQ(install().result, InstallResult::Installed);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(observer_.questions.size(), 2u);

    // No link and the retry declined: the failure message, and the program ends.
    server_.onJson("/api/config/soft_down", softDownAnswer(""));
    const size_t reportsBefore = server_.requestsTo("/api/report/install").size();
    observer_ = {};
    const InstallOutcome outcome = install();
    EXPECT_EQ(outcome.result, InstallResult::NoPackageLink);
    EXPECT_TRUE(endsProgram(outcome.result));
    EXPECT_EQ(exitCode(true, outcome), 2);
    EXPECT_EQ(observer_.questions.size(), 1u);
    EXPECT_EQ(observer_.messages, std::vector<std::wstring>{kInstallFailed});
    EXPECT_TRUE(productPageOpened());
    net::waitForQueuedRequests();
    EXPECT_EQ(server_.requestsTo("/api/report/install").size(), reportsBefore) << "no install report";
}

TEST_F(InstallEngineTest, PackageThatDeclaresMoreThanTheFreeSpaceStopsBeforeExtracting)
{
    servePackage(server_, home_.path());
    const std::string claims = zipDeclaring(4, 100u << 20);
    server_.on("/pkg.zip", [claims](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.contentType = "application/zip";
        reply.body = claims;
        return reply;
    });
    // More than 100 MB free, less than the 400 MB declared: the message says both.
    host_.freeMB = 300;
    const InstallOutcome outcome = install();
    EXPECT_EQ(outcome.result, InstallResult::NoSpace);
    EXPECT_EQ(observer_.messages,
              std::vector<std::wstring>{L"当前分区空间不足，安装需要400M，剩余空间300M! 请重新选择另一分区安装"});
    EXPECT_TRUE(fs::is_empty(target()));
    expectNothingRegistered();
}

TEST_F(InstallEngineTest, HttpsLinksAreRefused)
{
    // An https:// anywhere in a plain-HTTP link counts.
    const std::string url = server_.origin() + "/pkg.zip?mirror=https://example.invalid/p.zip";
    server_.onJson("/api/config/soft_down", softDownAnswer(url, "https://example.invalid/fw.exe"));
    InstallOutcome outcome = install();
    EXPECT_EQ(outcome.result, InstallResult::HttpsRefused);
    EXPECT_EQ(exitCode(true, outcome), 4);
    EXPECT_FALSE(endsProgram(outcome.result)) << "a refused link stops, the window stays";
    EXPECT_EQ(observer_.messages, std::vector<std::wstring>{L"https not supported! " + win::fromUtf8(url)});
    net::waitForQueuedRequests();
    EXPECT_EQ(server_.requestsTo("/api/report/install").size(), 1u) << "the report goes before the refusal";
    expectNothingRegistered();

    // A framework that must be fetched over https.
    observer_ = {};
    server_.onJson("/api/config/soft_down",
                   softDownAnswer(server_.origin() + "/pkg.zip", "https://example.invalid/fw.exe"));
    config_->DotNetCheck = true;
    config_->DotNetVerRequired = L"99";
    outcome = install();
    EXPECT_EQ(outcome.result, InstallResult::HttpsRefused);
    EXPECT_EQ(observer_.messages, std::vector<std::wstring>{L"https not supported! https://example.invalid/fw.exe"});
    EXPECT_TRUE(host_.frameworkWindows.empty());
}

TEST_F(InstallEngineTest, MissingFrameworkOpensItsWindowExceptInASilentInstall)
{
    const std::string framework = server_.origin() + "/fw.exe";
    server_.onJson("/api/config/soft_down", softDownAnswer(server_.origin() + "/missing.zip", framework));
    config_->DotNetCheck = true;
    config_->DotNetVerRequired = L"99";
    install();
    EXPECT_EQ(host_.frameworkWindows, std::vector<std::wstring>{win::fromUtf8(framework)});

    host_.frameworkWindows.clear();
    config_->DotNetCheck = true;
    install(true);
    EXPECT_TRUE(host_.frameworkWindows.empty());
    EXPECT_FALSE(config_->DotNetCheck);
}

// A configuration fault, not the machine's: the install stops as on any
// error it does not expect.
TEST_F(InstallEngineTest, AFrameworkVersionThatIsNoNumberStopsTheInstall)
{
    servePackage(server_, home_.path());
    config_->DotNetCheck = true;
    config_->DotNetVerRequired = L"four";
    const InstallOutcome outcome = install();
    EXPECT_EQ(outcome.result, InstallResult::Unexpected);
    EXPECT_EQ(exitCode(true, outcome), 13);
    EXPECT_EQ(observer_.messages.size(), 1u);
    EXPECT_TRUE(host_.frameworkWindows.empty());
    EXPECT_TRUE(server_.requestsTo("/pkg.zip").empty());
    expectNothingRegistered();
}

// A service that refuses the query: no retry question, the install report
// still goes (with no version), the download of no link fails and the
// product's page opens.
TEST_F(InstallEngineTest, FailedQueryStillReportsThenTheDownloadFailsAndThePageOpens)
{
    server_.onJson("/api/config/soft_down", R"({"code":1,"msg":"busy"})");
    const InstallOutcome outcome = install();
    EXPECT_EQ(outcome.result, InstallResult::DownloadFailed);
    EXPECT_EQ(exitCode(true, outcome), 6);
    EXPECT_TRUE(observer_.questions.empty());
    EXPECT_EQ(observer_.messages, std::vector<std::wstring>{kInstallFailed});
    EXPECT_TRUE(productPageOpened());
    net::waitForQueuedRequests();
    const auto reports = server_.requestsTo("/api/report/install");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].query.find("curr_ver=&"), std::string::npos) << reports[0].query;
    expectNothingRegistered();
    EXPECT_FALSE(fs::exists(target() / L"unin.exe"));
}

TEST_F(InstallEngineTest, BrokenArchiveShowsTheErrorAndStops)
{
    server_.on("/pkg.zip", [](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.contentType = "application/zip";
        reply.body = std::string(4096, 'x');
        return reply;
    });
    server_.onJson("/api/config/soft_down", softDownAnswer(server_.origin() + "/pkg.zip"));
    const InstallOutcome outcome = install();
    EXPECT_EQ(outcome.result, InstallResult::BrokenArchive);
    EXPECT_FALSE(endsProgram(outcome.result));
    ASSERT_EQ(observer_.messages.size(), 1u);
    EXPECT_FALSE(observer_.messages[0].empty());
    expectNothingRegistered();
    EXPECT_FALSE(fs::exists(target() / L"unin.exe"));
}

// Runs only inside a copy of this program that carries a package of its own
// (below): a folder holds the package's place, so it cannot be written.
TEST_F(InstallEngineTest, DISABLED_EmbeddedPackageInTheCopy)
{
    fs::create_directories(privateTempPath(std::wstring(kSoftId) + L".zip"));
    const InstallOutcome outcome = install(true);
    EXPECT_EQ(outcome.result, InstallResult::EmbeddedPackageUnwritable);
    EXPECT_EQ(exitCode(true, outcome), 7);
    EXPECT_EQ(observer_.messages, std::vector<std::wstring>{L"资源不存在,安装包已损坏!"});
    expectNothingRegistered();
}

TEST(EmbeddedPackage, ThatCannotBeWrittenEndsTheInstallWith7)
{
    TempDir dir;
    const fs::path copy = dir / L"embedded_tests.exe";
    ASSERT_TRUE(::CopyFileW((getExeDir() + getExeFileName()).c_str(), copy.c_str(), FALSE));
    // The copy's set-up copies the mark helper beside it.
    ASSERT_TRUE(::CopyFileW(markHelperPath().c_str(), (dir / L"mark_helper.exe").c_str(), FALSE));
    const std::string package = "PK\x05\x06" + std::string(18, '\0');
    HANDLE update = ::BeginUpdateResourceW(copy.c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    ASSERT_TRUE(::UpdateResourceW(update, L"FILE", L"ZIPFILE", MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                  const_cast<char*>(package.data()), static_cast<DWORD>(package.size())));
    ASSERT_TRUE(::EndUpdateResourceW(update, FALSE));
    const win::Handle process = startProcess(L"\"" + copy.wstring() +
                                             L"\" --gtest_also_run_disabled_tests "
                                             L"--gtest_filter=InstallEngineTest.DISABLED_EmbeddedPackageInTheCopy");
    ASSERT_TRUE(process);
    ASSERT_EQ(::WaitForSingleObject(process.get(), 120000), WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u) << "the copy's checks failed";
}

// The uninstall of the product, on the same test home, registered in TARGET.
void registerIn(const fs::path& target)
{
    writeUninstallEntry(kSoftId, L"", L"", target.wstring(), L"", L"", L"", 0, L"");
}

// An entry without a version (a second run, say) sends no report.
TEST_F(InstallEngineTest, UninstallSkipsADataFolderThatIsNotThereAndAnEntryWithoutVersionIsNotReported)
{
    fs::create_directories(target() / L"sub");
    writeFile(target() / L"sub" / L"a.txt", "a");
    registerIn(target());
    const fs::path missing = home_ / L"no such data";
    config_->ConfigPathForUinstall = missing.wstring();
    UninstallEngine(*config_, &*api_, observer_).run(target().wstring());
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_EQ(std::count(observer_.errors.begin(), observer_.errors.end(), ErrorKind::File), 0);
    EXPECT_FALSE(fs::exists(target())) << "the rest of the removal went on";
    net::waitForQueuedRequests();
    EXPECT_TRUE(server_.requestsTo("/api/report/uninstall").empty());
}

// Only the folder the entry names is emptied, by its own uninstaller or by
// the one the entry names; any other copy removes nothing.
TEST_F(InstallEngineTest, UninstallRemovesOnlyTheFolderTheEntryNames)
{
    writeFile(target() / L"a.txt", "a");
    const fs::path elsewhere = home_ / L"elsewhere";
    fs::create_directories(elsewhere);
    const std::wstring refused = L"卸载程序不在产品的安装目录中，未删除任何文件。";
    registerIn(target());
    EXPECT_EQ(UninstallEngine(*config_, nullptr, observer_).run(elsewhere.wstring()), UninstallResult::WrongFolder);
    EXPECT_EQ(uninstallExitCode(true, UninstallResult::WrongFolder), 4);
    EXPECT_EQ(observer_.messages, std::vector<std::wstring>{refused});
    EXPECT_EQ(readInstallLocation(kSoftId), target().wstring()) << "the entry stays";

    // No entry: no folder is the product's.
    ASSERT_EQ(deleteUninstallEntry(kSoftId), ERROR_SUCCESS);
    EXPECT_EQ(UninstallEngine(*config_, nullptr, observer_).run(target().wstring()), UninstallResult::WrongFolder);
    EXPECT_TRUE(fs::exists(target() / L"a.txt"));

    registerIn(target());
    fs::create_directories(uninstallerFolder(kSoftId));
    EXPECT_EQ(UninstallEngine(*config_, nullptr, observer_).run(uninstallerFolder(kSoftId)), UninstallResult::Removed);
    EXPECT_FALSE(fs::exists(target()));
    EXPECT_TRUE(fs::exists(elsewhere));
}

// Sets KEY's access list from SDDL; false when that is not possible.
bool setKeyAccess(HKEY key, const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    const win::LocalMemory held(descriptor);
    return ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
}

// A silent removal tells what stays by its exit code: files in use (2), an
// uninstall entry that cannot be deleted (3, and the uninstallers stay with
// it, so that its commands still work).
TEST_F(InstallEngineTest, UninstallThatLeavesFilesOrTheEntryEndsWith2Or3)
{
    writeFile(target() / L"busy.txt", "in use");
    registerIn(target());
    {
        const win::FileHandle busy(::CreateFileW((target() / L"busy.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                 nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(busy);
        const UninstallResult result = UninstallEngine(*config_, nullptr, observer_).run(target().wstring());
        EXPECT_EQ(result, UninstallResult::FilesRemain);
        EXPECT_EQ(uninstallExitCode(true, result), 2);
    }
    EXPECT_TRUE(readInstallLocation(kSoftId).empty()) << "the entry went all the same";

    // A key inside the entry that may not be deleted keeps the entry.
    registerIn(target());
    const std::wstring locked = uninstallEntryPath(kSoftId) + L"\\locked";
    win::RegKey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, locked.c_str(), 0, nullptr, 0, WRITE_DAC | kUninstallEntryView,
                                nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_TRUE(setKeyAccess(key.get(), L"D:P(D;;KA;;;WD)"));
    const fs::path uninstallers = uninstallerFolder(kSoftId);
    writeFile(uninstallers / L"unin.exe", "uninstaller");
    const UninstallResult result = UninstallEngine(*config_, nullptr, observer_).run(target().wstring());
    EXPECT_TRUE(setKeyAccess(key.get(), L"D:(A;;KA;;;WD)"));
    // Any other result would have this test program delete itself.
    ASSERT_EQ(result, UninstallResult::EntryRemains);
    EXPECT_EQ(uninstallExitCode(true, result), 3);
    EXPECT_EQ(readInstallLocation(kSoftId), target().wstring());
    removeUninstallers(*config_, result);
    EXPECT_TRUE(fs::exists(uninstallers / L"unin.exe"));
}

TEST(DownloadBar, FollowsTheAnnouncedTotal)
{
    EXPECT_EQ(downloadBarValue(5000, 0), -1) << "no total announced: the bar waits";
    EXPECT_EQ(downloadBarValue(999, 1000), 89);
    EXPECT_EQ(downloadBarValue(2000, 1000), 90) << "more than announced stops at 90";
    // Beyond 2 GB the arithmetic stays right.
    EXPECT_EQ(downloadBarValue(4'000'000'000, 5'000'000'000), 74);
}

} // namespace
