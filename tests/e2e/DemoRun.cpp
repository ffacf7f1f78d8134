#include "tests/e2e/DemoRun.h"

#include "system/Encoding.h"
#include "system/Handles.h"
#include "system/Process.h"
#include "system/Registration.h"
#include "system/Registry.h"
#include "tests/support/Helper.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string_view>
#include <system_error>

namespace demo {

namespace fs = std::filesystem;

constexpr wchar_t kScriptHost[] = L"cmd.exe";

void removeTraces()
{
    std::error_code ignored;
    // A program the last install started may still be letting go of it.
    const bool removed = waitUntil(
        [] {
            std::error_code failed;
            fs::remove_all(installDir(), failed);
            return !fs::exists(installDir());
        },
        std::chrono::seconds(10));
    EXPECT_TRUE(removed) << "the install folder stays";
    fs::remove_all(dataDir(), ignored);
    fs::remove(defaultLog(), ignored);
    fs::remove_all(registeredUninstaller().parent_path(), ignored);
    deleteUninstallEntry(kSoftId);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"SOFTWARE\\") + kSoftId).c_str());
    for (const wchar_t* key : {L".vnote", L".vnotes", L"vnoteFile", L"vnotesFile", L"velnotes"})
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
}

std::wstring entryValue(const wchar_t* name)
{
    return regReadString(HKEY_LOCAL_MACHINE, uninstallEntryPath(kSoftId), name, kUninstallEntryView);
}

bool entryDword(const wchar_t* name, DWORD& value)
{
    win::RegKey key;
    DWORD type = 0, size = sizeof(value);
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallEntryPath(kSoftId).c_str(), 0, KEY_READ | kUninstallEntryView,
                           key.put()) == ERROR_SUCCESS &&
           ::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD;
}

bool entryExists()
{
    win::RegKey key;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallEntryPath(kSoftId).c_str(), 0,
                           KEY_READ | kUninstallEntryView, key.put()) == ERROR_SUCCESS;
}

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
    // The after-install script runs in cmd.exe beside the product and may
    // outlive it; until it ends it holds its folder and may still write there.
    waitUntil([] { return !findProcessByName(kScriptHost); });
}

int waitForStarts(int atLeast)
{
    int starts = 0;
    for (const ULONGLONG until = ::GetTickCount64() + kStartLimitMs; ::GetTickCount64() < until;) {
        const std::string log = fs::exists(startRecord()) ? readFile(startRecord()) : std::string();
        starts = 0;
        for (size_t at = log.find(win::toUtf8(kProgram)); at != std::string::npos;
             at = log.find(win::toUtf8(kProgram), at + 1))
            ++starts;
        if (starts >= atLeast)
            break;
        ::Sleep(100);
    }
    return starts;
}

vendor::Options serviceOptions()
{
    vendor::Options options;
    options.port = kServicePort;
    options.contentDir = fs::path(L"Z:" + std::wstring(DEMO_SERVICE_DIR_W));
    return options;
}

std::unique_ptr<vendor::VendorService> startService()
{
    auto service = std::make_unique<vendor::VendorService>(serviceOptions());
    if (!service->start())
        return nullptr;
    return service;
}

std::vector<std::string> productRequests(const vendor::VendorService& service)
{
    std::vector<std::string> paths;
    for (const auto& request : service.requests()) {
        const auto softId = request.query.find("soft_id");
        if (request.path.starts_with("/files/") || (softId != request.query.end() && softId->second == "velnotes_win"))
            paths.push_back(request.path);
    }
    return paths;
}

namespace {

struct WindowSearch {
    DWORD pid;
    std::wstring_view className;
    std::wstring_view title;
    HWND found = nullptr;
};

BOOL CALLBACK matchWindow(HWND wnd, LPARAM param)
{
    auto* s = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    if (pid != s->pid || !::IsWindowVisible(wnd))
        return TRUE;
    wchar_t text[256] = {};
    ::GetClassNameW(wnd, text, 256);
    if (!s->className.empty() && s->className != text)
        return TRUE;
    ::GetWindowTextW(wnd, text, 256);
    if (!s->title.empty() && s->title != text)
        return TRUE;
    s->found = wnd;
    return FALSE;
}

} // namespace

HWND findWindowOf(DWORD pid, const std::wstring& className, const std::wstring& title)
{
    WindowSearch search{pid, className, title};
    ::EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

RunResult runAnsweringBoxes(const fs::path& program, const std::wstring& args)
{
    RunResult run;
    StartedProgram started(program, args);
    const ULONGLONG until = ::GetTickCount64() + kRunLimitMs;
    while (started.started() && ::GetTickCount64() < until) {
        if (started.hasEnded(100)) {
            run.exitCode = started.waitForExit(0);
            return run;
        }
        HWND box = findWindowOf(started.pid(), L"TFrmMsgBox", L"");
        if (box) {
            ::PostMessageW(box, WM_CHAR, VK_ESCAPE, 0);
        } else if ((box = findWindowOf(started.pid(), L"#32770", L""))) {
            const int answer = ::GetDlgItem(box, IDNO) ? IDNO : IDOK;
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
        }
        if (box) {
            wchar_t title[256] = {};
            ::GetWindowTextW(box, title, 256);
            run.boxes.emplace_back(title);
            // Wait until it is gone so that one box is neither counted nor
            // answered twice (a second Escape would reach the next window).
            waitUntilGone(box);
        }
    }
    return run;
}

StartedProgram::StartedProgram(const fs::path& program, const std::wstring& args)
{
    PROCESS_INFORMATION pi{};
    DWORD error = 0;
    if (!createProcessPatiently(L"\"" + program.wstring() + L"\" " + args, program.parent_path().c_str(), pi,
                                error)) {
        ADD_FAILURE() << "could not start " << program << ": system error " << error;
        return;
    }
    process_.reset(pi.hProcess);
    ::CloseHandle(pi.hThread);
    pid_ = pi.dwProcessId;
}

StartedProgram::~StartedProgram()
{
    if (process_ && ::WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) {
        ::TerminateProcess(process_.get(), kStoppedByTest);
        ::WaitForSingleObject(process_.get(), 5000);
    }
}

bool StartedProgram::hasEnded(DWORD waitMs) const
{
    return !process_ || ::WaitForSingleObject(process_.get(), waitMs) == WAIT_OBJECT_0;
}

DWORD StartedProgram::waitForExit(DWORD limitMs)
{
    DWORD code = kStoppedByTest;
    if (!process_)
        return code;
    if (::WaitForSingleObject(process_.get(), limitMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process_.get(), kStoppedByTest);
        ::WaitForSingleObject(process_.get(), 5000);
        return kStoppedByTest;
    }
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
}

HWND waitForWindowOf(DWORD pid, const std::wstring& className, const std::wstring& title, DWORD limitMs)
{
    const ULONGLONG until = ::GetTickCount64() + limitMs;
    for (;;) {
        if (HWND found = findWindowOf(pid, className, title))
            return found;
        if (::GetTickCount64() > until)
            return nullptr;
        ::Sleep(50);
    }
}

bool waitUntilGone(HWND wnd, DWORD limitMs)
{
    const ULONGLONG until = ::GetTickCount64() + limitMs;
    while (::IsWindow(wnd) && ::IsWindowVisible(wnd)) {
        if (::GetTickCount64() > until)
            return false;
        ::Sleep(50);
    }
    return true;
}

void postClick(HWND wnd, int x, int y)
{
    const LPARAM at = MAKELPARAM(x, y);
    ::PostMessageW(wnd, WM_MOUSEMOVE, 0, at);
    ::PostMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(wnd, WM_LBUTTONUP, 0, at);
}

} // namespace demo
