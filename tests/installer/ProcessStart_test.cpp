// The installer as a program of its own: copies of the test installer,
// started under various names and command lines, watched from outside.
#include "system/Encoding.h"
#include "system/Process.h"
#include "tests/installer/TestProduct.h"
#include "tests/support/Helper.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

namespace {

using namespace testproduct;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr wchar_t kMainWindowClass[] = L"TFrmCommInst";
constexpr wchar_t kMsgBoxClass[] = L"TFrmMsgBox";

struct Search {
    DWORD pid;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND wnd, LPARAM param)
{
    auto* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    wchar_t cls[64] = {};
    ::GetClassNameW(wnd, cls, 64);
    if (pid == s->pid && ::IsWindowVisible(wnd) && std::wstring_view(cls) == s->className) {
        s->found = wnd;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of class CLASSNAME of process PID, or null.
HWND visibleWindow(DWORD pid, const wchar_t* className)
{
    Search s{pid, className, nullptr};
    ::EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// Whether the page area shows the install page's "自定义安装" (dark text
// where the uninstall page is blank): read from the screen.
bool showsInstallPage(HWND wnd)
{
    RECT r;
    ::GetWindowRect(wnd, &r);
    // lblDesOptions: page area (14, 262) + (510, 91), about 60 x 16.
    const int x = r.left + 14 + 510, y = r.top + 262 + 91, w = 60, h = 16;
    const HDC screen = ::GetDC(nullptr);
    int dark = 0;
    for (int i = 0; i < w; i += 2)
        for (int j = 0; j < h; j += 2) {
            const COLORREF c = ::GetPixel(screen, x + i, y + j);
            if (c != CLR_INVALID && GetRValue(c) + GetGValue(c) + GetBValue(c) < 450)
                ++dark;
        }
    ::ReleaseDC(nullptr, screen);
    return dark > 5;
}

class StartedInstaller {
public:
    // Copies PROGRAM (beside this test) into DIR as NAME and starts it.
    StartedInstaller(const TempDir& dir, const wchar_t* program, const std::wstring& name, const std::wstring& args)
    {
        const fs::path copy = dir / name;
        fs::copy_file(getExeDir() + program, copy, fs::copy_options::overwrite_existing);
        std::wstring command = L"\"" + copy.wstring() + L"\"" + (args.empty() ? L"" : L" " + args);
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.str().c_str(), &si,
                             &pi)) {
            process_ = pi.hProcess;
            pid_ = pi.dwProcessId;
            ::CloseHandle(pi.hThread);
        }
    }
    ~StartedInstaller()
    {
        if (process_) {
            ::TerminateProcess(process_, 9);
            ::WaitForSingleObject(process_, 5000);
            ::CloseHandle(process_);
        }
    }
    bool started() const { return process_ != nullptr; }
    DWORD pid() const { return pid_; }
    bool ended(std::chrono::milliseconds within) const
    {
        return ::WaitForSingleObject(process_, static_cast<DWORD>(within.count())) == WAIT_OBJECT_0;
    }
    DWORD exitCode() const
    {
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(process_, &code);
        return code;
    }
    HWND waitForWindow(const wchar_t* className, std::chrono::milliseconds limit = 20s) const
    {
        HWND wnd = nullptr;
        waitUntil([&] { return (wnd = visibleWindow(pid_, className)) != nullptr; }, limit);
        return wnd;
    }

private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

class ProcessStartTest : public ::testing::Test {
protected:
    void SetUp() override { removeTraces(); }
    void TearDown() override { removeTraces(); }
    TempDir dir_;
};

TEST_F(ProcessStartTest, NamedUninExeOpensOnTheUninstallPage)
{
    // A running copy of the product is stopped by the uninstaller too.
    const TempDir productDir;
    StartedInstaller product(productDir, L"mark_helper.exe", kMainProg,
                             L"\"" + (productDir / L"mark").wstring() + L"\" 60000");
    ASSERT_TRUE(product.started());
    ASSERT_TRUE(waitForFile(productDir / L"mark"));

    StartedInstaller uninstaller(dir_, L"installer_probe.exe", L"unin.exe", L"");
    ASSERT_TRUE(uninstaller.started());
    const HWND wnd = uninstaller.waitForWindow(kMainWindowClass);
    ASSERT_TRUE(wnd);
    EXPECT_TRUE(product.ended(0ms)) << "the product was stopped before the window showed";
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(showsInstallPage(wnd));
    EXPECT_FALSE(fs::exists(defaultDir())) << "the uninstaller prepares no installation folder";
}

TEST_F(ProcessStartTest, AutoinstHidesTheWindowAutostartShowsIt)
{
    {
        StartedInstaller silent(dir_, L"installer_probe.exe", L"setup_abc.exe", L"/autoinst");
        ASSERT_TRUE(silent.started());
        // Start-up has run (the default folder is made); whatever the
        // install does then (it depends on what answers on the vendor host),
        // the window is never shown.
        ASSERT_TRUE(waitUntil([] { return fs::is_directory(defaultDir()); }));
        for (int i = 0; i < 15 && !silent.ended(100ms); ++i)
            EXPECT_EQ(visibleWindow(silent.pid(), kMainWindowClass), nullptr);
    }
    StartedInstaller visible(dir_, L"installer_probe.exe", L"setup_abc.exe", L"/autostart");
    ASSERT_TRUE(visible.started());
    EXPECT_TRUE(visible.waitForWindow(kMainWindowClass));
}

TEST_F(ProcessStartTest, WithoutUsableConfigurationTheMessageEndsTheProgram)
{
    for (const wchar_t* program : {L"installer_noconfig.exe", L"installer_badconfig.exe"}) {
        SCOPED_TRACE(win::toUtf8(program));
        StartedInstaller installer(dir_, program, L"setup.exe", L"");
        ASSERT_TRUE(installer.started());
        const HWND box = installer.waitForWindow(kMsgBoxClass);
        ASSERT_TRUE(box);
        EXPECT_FALSE(installer.ended(500ms)) << "waits for the message to be answered";
        EXPECT_EQ(visibleWindow(installer.pid(), kMainWindowClass), nullptr);
        ::PostMessageW(box, WM_CHAR, VK_ESCAPE, 0);
        EXPECT_TRUE(installer.ended(10s));
        EXPECT_FALSE(fs::exists(defaultDir()));
    }
}

TEST_F(ProcessStartTest, ASystemDllPlantedBesideTheInstallerIsNotLoaded)
{
    const std::wstring planted = getExeDir() + L"planted_dll.dll";
    {
        // The stand-in marks a load: loaded by its path here, it does.
        const fs::path probe = dir_ / L"probe.dll";
        fs::copy_file(planted, probe);
        const win::Module loaded(::LoadLibraryW(probe.c_str()));
        ASSERT_TRUE(fs::exists(probe.wstring() + L".mark"));
    }
    // The windows use dwmapi.dll, which the loader would look for beside the
    // program first.
    fs::copy_file(planted, dir_ / L"dwmapi.dll");
    StartedInstaller installer(dir_, L"installer_probe.exe", L"setup.exe", L"");
    ASSERT_TRUE(installer.waitForWindow(kMainWindowClass));
    EXPECT_FALSE(fs::exists(dir_ / L"dwmapi.dll.mark"));
}

} // namespace

namespace {

// Run by tests/installer/run_on_winxp in a Wine prefix that reports Windows
// XP (major version 5), which sets INSTALLER_EXPECT_OLD_WINDOWS; skipped on
// the usual prefix.
class OldWindowsTest : public ProcessStartTest {
protected:
    void SetUp() override
    {
        if (!::GetEnvironmentVariableW(L"INSTALLER_EXPECT_OLD_WINDOWS", nullptr, 0)) {
            GTEST_SKIP() << "needs a prefix that reports Windows XP";
        }
        ASSERT_FALSE(isVistaOrLater()) << "the prefix does not report Windows XP";
        ProcessStartTest::SetUp();
    }
};

TEST_F(OldWindowsTest, RefusedWithItsMessageAndNoWindow)
{
    StartedInstaller installer(dir_, L"installer_probe.exe", L"setup.exe", L"");
    ASSERT_TRUE(installer.started());
    const HWND box = installer.waitForWindow(kMsgBoxClass);
    ASSERT_TRUE(box);
    EXPECT_EQ(visibleWindow(installer.pid(), kMainWindowClass), nullptr);
    EXPECT_FALSE(fs::exists(defaultDir())) << "refused before the folder is made";
    ::PostMessageW(box, WM_CHAR, VK_ESCAPE, 0);
    EXPECT_TRUE(installer.ended(10s));
}

} // namespace
