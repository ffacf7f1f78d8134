// The demo installer as a program of its own against the reference vendor
// service on the demo build's vendor host.
#include "system/Encoding.h"
#include "system/MyCommonFuns.h"
#include "system/RegValues.h"
#include "tests/e2e/DemoRun.h"
#include "tests/support/ShellFolderRedirect.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace demo;

class DemoInstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        removeTraces();
        fs::create_directories(home_ / L"desktop");
        fs::create_directories(home_ / L"programs");
    }
    void TearDown() override
    {
        endStartedProduct();
        removeTraces();
    }

    // The demo installer copied under NAME into the test's folder.
    fs::path installer(const std::wstring& name, const wchar_t* built = L"setup.exe")
    {
        const fs::path copy = home_ / name;
        EXPECT_TRUE(copyFileOverwrite(getExeDir() + built, copy.wstring()));
        return copy;
    }

    TempDir home_;
    ShellFolderRedirect desktop_{L"Desktop", (home_ / L"desktop").wstring()};
    ShellFolderRedirect programs_{L"Programs", (home_ / L"programs").wstring()};
};

TEST_F(DemoInstallTest, SilentInstallFromTheReferenceServiceEndsWithZero)
{
    const auto service = startService();
    if (!service)
        GTEST_SKIP() << "port " << kServicePort << " is taken";

    // A browser's copy suffix: the source is "demo " with its trailing space.
    const RunResult run = runAnsweringBoxes(installer(L"setup_demo (1).exe"), L"/autoinst");
    EXPECT_EQ(run.boxes, 0);
    EXPECT_EQ(run.exitCode, 0u);

    EXPECT_TRUE(fs::exists(installDir() / kProgram));
    EXPECT_TRUE(fs::exists(installDir() / L"unin.exe"));
    EXPECT_TRUE(fs::exists(home_ / L"desktop" / kShortcut));
    EXPECT_TRUE(fs::exists(home_ / L"programs" / kProductDir / kShortcut));
    EXPECT_EQ(readInstalledVersion(kSoftId), L"2.0.1.0");
    EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, kUninstallKey, L"Publisher"), L"velmora software");
    EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"),
              (installDir() / L"unin.exe").wstring());
    EXPECT_EQ(regReadString(HKEY_CLASSES_ROOT, L".vnote", L""), L"vnoteFile");
    EXPECT_EQ(waitForStarts(1), 1) << "the product was started";

    const std::vector<std::string> expected{"/api/report/preinstall", "/api/config/soft_down", "/api/report/install",
                                            "/files/package.zip"};
    EXPECT_EQ(productRequests(*service), expected);
    std::string installQuery;
    for (const auto& request : service->requests())
        if (request.path == "/api/report/install")
            installQuery = request.rawQuery;
    EXPECT_NE(installQuery.find("curr_ver=2.0.1.0&"), std::string::npos) << installQuery;
    EXPECT_NE(installQuery.find("source=demo%20&"), std::string::npos) << installQuery;
    const std::string guid = win::toUtf8(regReadString(HKEY_CURRENT_USER, L"SOFTWARE\\velnotes_win", L"guid"));
    EXPECT_NE(installQuery.find("device_code=" + guid), std::string::npos) << installQuery;
}

TEST_F(DemoInstallTest, FailedPackageDownloadEndsWithItsOwnCode)
{
    const auto service = startService();
    if (!service)
        GTEST_SKIP() << "port " << kServicePort << " is taken";
    vendor::Fault notFound;
    ASSERT_TRUE(vendor::Fault::parse("404", notFound));
    service->setFault("/files/package.zip", notFound);

    const RunResult run = runAnsweringBoxes(installer(L"setup_demo.exe"), L"/autoinst");
    EXPECT_EQ(run.exitCode, 6u);
    EXPECT_EQ(run.boxes, 1) << "the failure is shown, also in a silent install";
    EXPECT_TRUE(readInstalledVersion(kSoftId).empty());
    EXPECT_FALSE(fs::exists(installDir() / L"unin.exe"));
}

} // namespace
