// The installer as a program of its own: copies of the test installer,
// started under various names and command lines, watched from outside.
#include "system/Encoding.h"
#include "system/Process.h"
#include "tests/installer/TestProduct.h"
#include "tests/support/Helper.h"
#include "tests/support/TempDir.h"
#include "tests/ui/UiTest.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <initializer_list>
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

// Whether WND shows the push button NAME, as an assistive program reads it:
// the window's own report, whatever the screen shows yet.
bool showsButton(HWND wnd, const wchar_t* name)
{
    IAccessible* object = uitest::accessibleOf(wnd);
    if (!object)
        return false;
    const long id = uitest::accessibleChild(*object, name, ROLE_SYSTEM_PUSHBUTTON);
    const bool shown = id != 0 && (uitest::accessibleState(*object, id) & STATE_SYSTEM_INVISIBLE) == 0;
    object->Release();
    return shown;
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
    EXPECT_TRUE(showsButton(wnd, L"卸载软件"));
    EXPECT_FALSE(showsButton(wnd, L"一键安装"));
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

namespace {

using uitest::accessibleOf;
using uitest::childId;

constexpr wchar_t kConfirmBoxClass[] = L"TFrmConfirmbox";
constexpr wchar_t kExpectedDpi[] = L"INSTALLER_EXPECT_DPI";
constexpr int kDesignDpi = 96;

RECT windowRect(HWND wnd)
{
    RECT r{};
    ::GetWindowRect(wnd, &r);
    return r;
}

// The id of the child of OBJECT that an assistive program knows by NAME
// and ROLE, and its rectangle relative to WND's top left.
long placeOf(HWND wnd, IAccessible& object, const std::wstring& name, long role, RECT& place)
{
    const long id = uitest::accessibleChild(object, name, role);
    long x = 0, y = 0, w = 0, h = 0;
    object.accLocation(&x, &y, &w, &h, childId(id));
    const RECT frame = windowRect(wnd);
    place = {x - frame.left, y - frame.top, x - frame.left + w, y - frame.top + h};
    return id;
}

// A click of the mouse at P in WND's client, posted (it may open a modal box).
void clickAt(HWND wnd, POINT p)
{
    const LPARAM at = MAKELPARAM(p.x, p.y);
    ::PostMessageW(wnd, WM_MOUSEMOVE, 0, at);
    ::PostMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(wnd, WM_LBUTTONUP, 0, at);
}

// R is DESIGN, a rectangle at 96 DPI, scaled to DPI; each edge is rounded to
// the pixel on its own.
void expectScaled(const RECT& r, const RECT& design, int dpi)
{
    const double factor = static_cast<double>(dpi) / kDesignDpi;
    EXPECT_NEAR(r.left, design.left * factor, 1);
    EXPECT_NEAR(r.top, design.top * factor, 1);
    EXPECT_NEAR(r.right, design.right * factor, 1);
    EXPECT_NEAR(r.bottom, design.bottom * factor, 1);
}

// A control of a design, its rectangle in the window at 96 DPI.
struct Designed {
    const wchar_t* name;
    RECT rect;
};

// WND at DPI is DESIGN (width, height) scaled, and each push button in
// CONTROLS is where its design rectangle scaled puts it, and is hit there
// by an assistive program's hit test (which follows the mouse's rule).
void expectScaled(HWND wnd, SIZE design, std::initializer_list<Designed> controls, int dpi)
{
    const double factor = static_cast<double>(dpi) / kDesignDpi;
    const RECT frame = windowRect(wnd);
    EXPECT_EQ(frame.right - frame.left, std::lround(design.cx * factor));
    EXPECT_EQ(frame.bottom - frame.top, std::lround(design.cy * factor));
    IAccessible* object = accessibleOf(wnd);
    ASSERT_NE(object, nullptr);
    for (const Designed& c : controls) {
        SCOPED_TRACE(win::toUtf8(c.name));
        RECT r{};
        const long id = placeOf(wnd, *object, c.name, ROLE_SYSTEM_PUSHBUTTON, r);
        ASSERT_NE(id, 0);
        expectScaled(r, c.rect, dpi);
        for (const POINT p : {POINT{c.rect.left + 2, c.rect.top + 2}, POINT{c.rect.right - 3, c.rect.bottom - 3}}) {
            VARIANT hit;
            ::VariantInit(&hit);
            object->accHitTest(frame.left + ::MulDiv(p.x, dpi, kDesignDpi), frame.top + ::MulDiv(p.y, dpi, kDesignDpi),
                               &hit);
            EXPECT_TRUE(hit.vt == VT_I4 && hit.lVal == id) << "at " << p.x << "," << p.y << " of the design";
        }
    }
    object->Release();
}

// Run by tests/installer/run_at_dpi, which starts a Wine session at each
// system DPI in a prefix of its own and sets INSTALLER_EXPECT_DPI; skipped
// on the usual prefix.
class SystemDpiTest : public ProcessStartTest {
protected:
    void SetUp() override
    {
        wchar_t value[16] = {};
        if (!::GetEnvironmentVariableW(kExpectedDpi, value, 16)) {
            GTEST_SKIP() << "needs a Wine session started at a given system DPI";
        }
        dpi_ = _wtoi(value);
        const HDC screen = ::GetDC(nullptr);
        const int system = ::GetDeviceCaps(screen, LOGPIXELSX);
        ::ReleaseDC(nullptr, screen);
        ASSERT_EQ(system, dpi_) << "the session does not run at the DPI it was started for";
        ProcessStartTest::SetUp();
    }
    int dpi_ = kDesignDpi;
};

TEST_F(SystemDpiTest, WindowsAndControlsAreTheDesignScaledByTheSystemDpi)
{
    StartedInstaller installer(dir_, L"installer_probe.exe", L"setup.exe", L"");
    const HWND wnd = installer.waitForWindow(kMainWindowClass);
    ASSERT_TRUE(wnd);
    // The folder row opened by the mouse: the arrow's chevron, left of its
    // label.
    const auto at = [&](int v) { return ::MulDiv(v, dpi_, kDesignDpi); };
    const long closedHeight = windowRect(wnd).bottom - windowRect(wnd).top;
    clickAt(wnd, {at(506 + 10), at(352 + 9)});
    ASSERT_TRUE(waitUntil([&] { return windowRect(wnd).bottom - windowRect(wnd).top > closedHeight; }));
    // The test product's install button picture is 12 x 8.
    expectScaled(wnd, {600, 500},
                 {{L"关闭", {566, -1, 600, 33}},
                  {L"一键安装", {217, 299, 229, 307}},
                  {L"收起自定义安装", {506, 352, 594, 371}},
                  {L"更改目录", {502, 432, 579, 458}}},
                 dpi_);
    // The path field, a window of its own, placed by the system.
    const HWND edit = ::FindWindowExW(wnd, nullptr, L"Edit", nullptr);
    ASSERT_TRUE(edit);
    const RECT frame = windowRect(wnd), field = windowRect(edit);
    expectScaled({field.left - frame.left, field.top - frame.top, field.right - frame.left, field.bottom - frame.top},
                 {67, 434, 67 + 421, 434 + 25}, dpi_);

    // The close button asks first, in a box of its own.
    clickAt(wnd, {at(583), at(16)});
    const HWND box = installer.waitForWindow(kConfirmBoxClass);
    ASSERT_TRUE(box);
    expectScaled(box, {410, 192},
                 {{L"是", {168, 137, 268, 167}}, {L"否", {292, 137, 392, 167}}, {L"关闭", {376, -1, 410, 33}}}, dpi_);
}

} // namespace
