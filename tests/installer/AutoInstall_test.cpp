// The demo installer as a program of its own: a silent automatic install
// against the reference vendor service on the demo build's vendor host.
#include "system/Encoding.h"
#include "system/MyCommonFuns.h"
#include "system/Process.h"
#include "system/RegValues.h"
#include "system/util.h"
#include "tests/support/ShellFolderRedirect.h"
#include "tests/support/TempDir.h"
#include "tools/vendor_service/VendorService.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr wchar_t kSoftId[] = L"velnotes_win";
constexpr wchar_t kProductDir[] = L"Velmora Notes";
constexpr wchar_t kProgram[] = L"VelmoraNotes.exe";
// The demo build talks to this port (its vendor host).
constexpr int kServicePort = 8765;

void removeDemoTraces()
{
    std::error_code ignored;
    fs::remove_all(getLocalAppDataDir() + L"\\" + kProductDir, ignored);
    fs::remove_all(getAppDataDir() + L"\\" + kProductDir, ignored);
    fs::remove(getTempDir() + kSoftId + L".zip", ignored);
    deleteUninstallEntry(kSoftId);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"SOFTWARE\\") + kSoftId).c_str());
    for (const wchar_t* key : {L".vnote", L".vnotes", L"vnoteFile", L"vnotesFile", L"velnotes"})
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
}

// Ends the demo product that the install started (it shows a window and
// stays), found by its program name.
void endStartedProduct()
{
    for (int i = 0; i < 20; ++i) {
        const win::Handle found = findProcessByName(kProgram);
        if (!found)
            return;
        const win::Handle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, ::GetProcessId(found.get())));
        if (process) {
            ::TerminateProcess(process.get(), 0);
            ::WaitForSingleObject(process.get(), 5000);
        }
    }
}

struct BoxSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK matchMsgBox(HWND wnd, LPARAM param)
{
    auto* s = reinterpret_cast<BoxSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    wchar_t cls[64] = {};
    ::GetClassNameW(wnd, cls, 64);
    if (pid == s->pid && ::IsWindowVisible(wnd) && std::wstring_view(cls) == L"TFrmMsgBox") {
        s->found = wnd;
        return FALSE;
    }
    return TRUE;
}

// Runs INSTALLER with ARGS in its folder until it ends, answering every
// message box of the program's own with Escape; its exit code (or 1234 when
// it had to be stopped after a minute) and the number of boxes answered.
DWORD runInstaller(const fs::path& installer, const std::wstring& args, int& boxes)
{
    std::wstring command = L"\"" + installer.wstring() + L"\" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          installer.parent_path().c_str(), &si, &pi))
        return 1234;
    const win::Handle process(pi.hProcess), thread(pi.hThread);
    boxes = 0;
    for (int i = 0; i < 600; ++i) {
        if (::WaitForSingleObject(process.get(), 100) == WAIT_OBJECT_0) {
            DWORD code = 1234;
            ::GetExitCodeProcess(process.get(), &code);
            return code;
        }
        BoxSearch search{pi.dwProcessId, nullptr};
        ::EnumWindows(matchMsgBox, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            ::PostMessageW(search.found, WM_CHAR, VK_ESCAPE, 0);
            ++boxes;
            for (int j = 0; j < 50 && ::IsWindowVisible(search.found); ++j)
                ::Sleep(20);
        }
    }
    ::TerminateProcess(process.get(), 1234);
    return 1234;
}

std::string readText(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(AutoInstall, SilentInstallFromTheReferenceServiceEndsWithZero)
{
    removeDemoTraces();
    TempDir home;
    fs::create_directories(home / L"desktop");
    fs::create_directories(home / L"programs");
    const ShellFolderRedirect desktop(L"Desktop", (home / L"desktop").wstring());
    const ShellFolderRedirect programs(L"Programs", (home / L"programs").wstring());

    vendor::Options options;
    options.port = kServicePort;
    options.contentDir = fs::path(L"Z:" + std::wstring(DEMO_SERVICE_DIR_W));
    vendor::VendorService service(options);
    if (!service.start())
        GTEST_SKIP() << "port " << kServicePort << " is taken";

    // A browser's copy suffix: the source is "demo " with its trailing space.
    const fs::path installer = home / L"setup_demo (1).exe";
    ASSERT_TRUE(copyFileOverwrite(getExeDir() + L"setup.exe", installer.wstring()));
    int boxes = 0;
    const DWORD exitCode = runInstaller(installer, L"/autoinst", boxes);
    EXPECT_EQ(boxes, 0);
    EXPECT_EQ(exitCode, 0u);

    const fs::path dir = getLocalAppDataDir() + L"\\" + kProductDir;
    EXPECT_TRUE(fs::exists(dir / kProgram));
    EXPECT_TRUE(fs::exists(dir / L"unin.exe"));
    EXPECT_TRUE(fs::exists(home / L"desktop" / L"Velmora Notes.lnk"));
    EXPECT_TRUE(fs::exists(home / L"programs" / kProductDir / L"Velmora Notes.lnk"));
    const std::wstring uninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\velnotes_win";
    EXPECT_EQ(readInstalledVersion(kSoftId), L"2.0.1.0");
    EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, uninstallKey, L"Publisher"), L"velmora software");
    EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, uninstallKey, L"UninstallString"), (dir / L"unin.exe").wstring());
    EXPECT_EQ(regReadString(HKEY_CLASSES_ROOT, L".vnote", L""), L"vnoteFile");

    // The product records each start in its data folder.
    const fs::path runs = getAppDataDir() + L"\\" + kProductDir + L"\\runs.log";
    for (int i = 0; i < 100 && !fs::exists(runs); ++i)
        ::Sleep(100);
    EXPECT_NE(readText(runs).find("VelmoraNotes.exe"), std::string::npos) << "the product was started";
    endStartedProduct();

    std::vector<std::string> paths;
    std::string installQuery;
    for (const auto& request : service.requests()) {
        // Other programs on this machine may talk to the same port.
        const bool ours = request.path == "/files/package.zip" ||
                          (request.query.count("soft_id") && request.query.at("soft_id") == "velnotes_win");
        if (!ours)
            continue;
        paths.push_back(request.path);
        if (request.path == "/api/report/install")
            installQuery = request.rawQuery;
    }
    const std::vector<std::string> expected{"/api/report/preinstall", "/api/config/soft_down", "/api/report/install",
                                            "/files/package.zip"};
    EXPECT_EQ(paths, expected);
    EXPECT_NE(installQuery.find("curr_ver=2.0.1.0&"), std::string::npos) << installQuery;
    EXPECT_NE(installQuery.find("source=demo%20&"), std::string::npos) << installQuery;
    EXPECT_NE(installQuery.find("device_code=" + win::toUtf8(regReadString(HKEY_CURRENT_USER,
                                                                           L"SOFTWARE\\velnotes_win", L"guid"))),
              std::string::npos)
        << installQuery;

    service.stop();
    removeDemoTraces();
}

TEST(AutoInstall, FailedPackageDownloadEndsWithItsOwnCode)
{
    removeDemoTraces();
    TempDir home;
    vendor::Options options;
    options.port = kServicePort;
    options.contentDir = fs::path(L"Z:" + std::wstring(DEMO_SERVICE_DIR_W));
    vendor::VendorService service(options);
    if (!service.start())
        GTEST_SKIP() << "port " << kServicePort << " is taken";
    vendor::Fault notFound;
    ASSERT_TRUE(vendor::Fault::parse("404", notFound));
    service.setFault("/files/package.zip", notFound);

    const fs::path installer = home / L"setup_demo.exe";
    ASSERT_TRUE(copyFileOverwrite(getExeDir() + L"setup.exe", installer.wstring()));
    int boxes = 0;
    EXPECT_EQ(runInstaller(installer, L"/autoinst", boxes), 6u);
    EXPECT_EQ(boxes, 1) << "the failure is shown, also in a silent install";
    EXPECT_TRUE(readInstalledVersion(kSoftId).empty());
    EXPECT_FALSE(fs::exists(getLocalAppDataDir() + L"\\" + kProductDir + L"\\unin.exe"));

    service.stop();
    removeDemoTraces();
}

} // namespace
