// The installer as a program of its own: copies of the test installer,
// started under various names and command lines, watched from outside.
#include "system/Encoding.h"
#include "system/Process.h"
#include "system/Registry.h"
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
#include <map>
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

namespace {

using uitest::accessibleOf;
using uitest::childId;

constexpr wchar_t kConfirmBoxClass[] = L"TFrmConfirmbox";
constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kLogPixels[] = L"LogPixels";
constexpr wchar_t kPathField[] = L"(path field window)";

// The system DPI that programs started from now on take (Wine reads it as
// each program starts), put back when this goes.
class SystemDpi {
public:
    explicit SystemDpi(DWORD dpi)
    {
        if (reg::createKey(HKEY_CURRENT_USER, kDesktopKey, KEY_QUERY_VALUE | KEY_SET_VALUE, key_) != ERROR_SUCCESS)
            return;
        had_ = reg::readDword(key_.get(), kLogPixels, old_) == ERROR_SUCCESS;
        set_ = reg::writeDword(key_.get(), kLogPixels, dpi) == ERROR_SUCCESS;
    }
    ~SystemDpi()
    {
        if (had_)
            reg::writeDword(key_.get(), kLogPixels, old_);
        else if (key_)
            reg::deleteValue(key_.get(), kLogPixels);
    }
    SystemDpi(const SystemDpi&) = delete;
    SystemDpi& operator=(const SystemDpi&) = delete;
    bool set() const { return set_; }

private:
    win::RegKey key_;
    DWORD old_ = 0;
    bool had_ = false;
    bool set_ = false;
};

// What a window shows an assistive program: its size, and each child's
// name, role, state and rectangle relative to the window's top left.
struct Child {
    std::wstring name;
    long role = 0;
    long state = 0;
    RECT rect{};
};
struct Layout {
    SIZE size{};
    std::vector<Child> children;
};

RECT windowRect(HWND wnd)
{
    RECT r{};
    ::GetWindowRect(wnd, &r);
    return r;
}

Layout layoutOf(HWND wnd, IAccessible& object)
{
    const RECT frame = windowRect(wnd);
    Layout layout{{frame.right - frame.left, frame.bottom - frame.top}, {}};
    long count = 0;
    object.get_accChildCount(&count);
    for (long id = 1; id <= count; ++id) {
        Child child;
        BSTR name = nullptr;
        if (object.get_accName(childId(id), &name) == S_OK && name)
            child.name = name;
        ::SysFreeString(name);
        VARIANT v;
        ::VariantInit(&v);
        if (SUCCEEDED(object.get_accRole(childId(id), &v)) && v.vt == VT_I4)
            child.role = v.lVal;
        child.state = uitest::accessibleState(object, id);
        long x = 0, y = 0, w = 0, h = 0;
        object.accLocation(&x, &y, &w, &h, childId(id));
        child.rect = {x - frame.left, y - frame.top, x - frame.left + w, y - frame.top + h};
        layout.children.push_back(child);
    }
    return layout;
}

const Child* childNamed(const Layout& layout, const std::wstring& name, long role)
{
    for (const Child& c : layout.children)
        if (c.name == name && c.role == role)
            return &c;
    return nullptr;
}

// A click of the mouse at P in WND's client, posted (it may open a modal box).
void clickAt(HWND wnd, POINT p)
{
    const LPARAM at = MAKELPARAM(p.x, p.y);
    ::PostMessageW(wnd, WM_MOUSEMOVE, 0, at);
    ::PostMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(wnd, WM_LBUTTONUP, 0, at);
}

// The buttons and links a user can reach are hit near the corners of their
// 96-DPI rectangles in DESIGN scaled by DPI: an assistive program's hit test,
// which follows the mouse's rule.
void expectHitWhereShown(HWND wnd, IAccessible& object, const Layout& design, int dpi)
{
    const RECT frame = windowRect(wnd);
    const auto at = [&](LONG x, LONG y) {
        return POINT{frame.left + ::MulDiv(x, dpi, 96), frame.top + ::MulDiv(y, dpi, 96)};
    };
    for (size_t i = 0; i < design.children.size(); ++i) {
        const Child& c = design.children[i];
        if ((c.role != ROLE_SYSTEM_PUSHBUTTON && c.role != ROLE_SYSTEM_LINK) ||
            (c.state & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_UNAVAILABLE)))
            continue;
        for (const POINT p : {at(c.rect.left + 2, c.rect.top + 2), at(c.rect.right - 3, c.rect.bottom - 3)}) {
            VARIANT hit;
            ::VariantInit(&hit);
            object.accHitTest(p.x, p.y, &hit);
            EXPECT_TRUE(hit.vt == VT_I4 && hit.lVal == static_cast<long>(i + 1))
                << win::toUtf8(c.name) << " at " << p.x - frame.left << "," << p.y - frame.top;
        }
    }
}

void expectScaled(const Layout& layout, const Layout& design, int dpi, const char* what)
{
    const double factor = dpi / 96.0;
    SCOPED_TRACE(what);
    EXPECT_EQ(layout.size.cx, std::lround(design.size.cx * factor));
    EXPECT_EQ(layout.size.cy, std::lround(design.size.cy * factor));
    ASSERT_EQ(layout.children.size(), design.children.size());
    for (size_t i = 0; i < layout.children.size(); ++i) {
        const RECT& r = layout.children[i].rect;
        const RECT& d = design.children[i].rect;
        EXPECT_EQ(layout.children[i].name, design.children[i].name);
        // Each edge is rounded to the pixel on its own.
        EXPECT_NEAR(r.left, d.left * factor, 1) << win::toUtf8(design.children[i].name);
        EXPECT_NEAR(r.top, d.top * factor, 1) << win::toUtf8(design.children[i].name);
        EXPECT_NEAR(r.right, d.right * factor, 1) << win::toUtf8(design.children[i].name);
        EXPECT_NEAR(r.bottom, d.bottom * factor, 1) << win::toUtf8(design.children[i].name);
    }
}

// Run by the ctest entry installer_dpi_tests in a Wine prefix of its own,
// which sets INSTALLER_OWN_DPI_PREFIX: these tests change the system DPI,
// which any program started meanwhile in the prefix would take.
class SystemDpiTest : public ProcessStartTest {
protected:
    void SetUp() override
    {
        if (!::GetEnvironmentVariableW(L"INSTALLER_OWN_DPI_PREFIX", nullptr, 0)) {
            GTEST_SKIP() << "changes the system DPI: runs in a prefix of its own (installer_dpi_tests)";
        }
        ProcessStartTest::SetUp();
    }
};

TEST_F(SystemDpiTest, WindowsAndControlsAreTheDesignScaledByTheSystemDpi)
{
    // The main window with the folder row opened by the mouse and the close
    // question's box, as the installer shows them after a start at each DPI.
    struct Shown {
        Layout main, box;
    };
    std::map<int, Shown> shown;
    for (const int dpi : {96, 144, 192}) {
        SCOPED_TRACE(dpi);
        const SystemDpi system(static_cast<DWORD>(dpi));
        ASSERT_TRUE(system.set());
        StartedInstaller installer(dir_, L"installer_probe.exe", L"setup.exe", L"");
        const HWND wnd = installer.waitForWindow(kMainWindowClass);
        ASSERT_TRUE(wnd);
        IAccessible* main = accessibleOf(wnd);
        ASSERT_NE(main, nullptr);
        const Layout closed = layoutOf(wnd, *main);
        const Child* options = childNamed(closed, L"自定义安装", ROLE_SYSTEM_PUSHBUTTON);
        ASSERT_NE(options, nullptr);
        const long height = closed.size.cy;
        // The arrow at the chevron, left of its label.
        clickAt(wnd, {options->rect.left + ::MulDiv(10, dpi, 96), (options->rect.top + options->rect.bottom) / 2});
        EXPECT_TRUE(waitUntil([&] { return windowRect(wnd).bottom - windowRect(wnd).top > height; }));
        Shown& s = shown[dpi];
        s.main = layoutOf(wnd, *main);
        expectHitWhereShown(wnd, *main, shown[96].main, dpi);
        // The path field is a window of its own, placed by the system.
        const HWND edit = ::FindWindowExW(wnd, nullptr, L"Edit", nullptr);
        ASSERT_TRUE(edit);
        const RECT frame = windowRect(wnd), field = windowRect(edit);
        s.main.children.push_back({kPathField, 0, 0,
                                   {field.left - frame.left, field.top - frame.top, field.right - frame.left,
                                    field.bottom - frame.top}});

        const Child* close = childNamed(s.main, L"关闭", ROLE_SYSTEM_PUSHBUTTON);
        ASSERT_NE(close, nullptr);
        main->Release();
        clickAt(wnd, {(close->rect.left + close->rect.right) / 2, (close->rect.top + close->rect.bottom) / 2});
        const HWND box = installer.waitForWindow(kConfirmBoxClass);
        ASSERT_TRUE(box);
        IAccessible* question = accessibleOf(box);
        ASSERT_NE(question, nullptr);
        s.box = layoutOf(box, *question);
        expectHitWhereShown(box, *question, shown[96].box, dpi);
        question->Release();
    }
    // At 96 DPI the design as it is.
    const Shown& design = shown[96];
    EXPECT_EQ(design.main.size.cx, 600);
    EXPECT_EQ(design.main.size.cy, 500);
    const Child* folder = childNamed(design.main, L"更改目录", ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_NE(folder, nullptr);
    const RECT folderDesign{502, 432, 502 + 77, 432 + 26}, pathDesign{67, 434, 67 + 421, 434 + 25};
    EXPECT_TRUE(::EqualRect(&folder->rect, &folderDesign));
    const Child* path = childNamed(design.main, kPathField, 0);
    ASSERT_NE(path, nullptr);
    EXPECT_TRUE(::EqualRect(&path->rect, &pathDesign));
    EXPECT_EQ(design.box.size.cx, 410);
    EXPECT_EQ(design.box.size.cy, 192);
    const Child* yes = childNamed(design.box, L"是", ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_NE(yes, nullptr);
    const RECT yesDesign{168, 137, 168 + 100, 137 + 30};
    EXPECT_TRUE(::EqualRect(&yes->rect, &yesDesign));
    for (const int dpi : {144, 192}) {
        SCOPED_TRACE(dpi);
        expectScaled(shown[dpi].main, design.main, dpi, "main window");
        expectScaled(shown[dpi].box, design.box, dpi, "close question");
    }
}

} // namespace
