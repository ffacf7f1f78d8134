// The demo product as the end-to-end tests see it: the built installers run
// as programs of their own against the reference vendor service, the traces
// an install leaves, and the windows of another process found and answered.
#pragma once

#include "system/Handles.h"
#include "system/PrivateTempDir.h"
#include "system/Registration.h"
#include "system/util.h"
#include "tools/vendor_service/VendorService.h"

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace demo {

inline constexpr wchar_t kSoftId[] = L"velnotes_win";
inline constexpr wchar_t kProductDir[] = L"Velmora Notes";
inline constexpr wchar_t kProgram[] = L"VelmoraNotes.exe";
inline constexpr wchar_t kShortcut[] = L"Velmora Notes.lnk";
// The demo build talks to this port (its vendor host).
inline constexpr int kServicePort = 8765;
// What an automatic run that had to be stopped from outside returns.
inline constexpr DWORD kStoppedByTest = 1234;
// Bounds of the waits below. They only end a run that went wrong, so they
// are generous: a machine running at half speed, its cores busy with other
// work, must not turn a slow run into a failure.
inline constexpr DWORD kRunLimitMs = 120000;
inline constexpr DWORD kWindowLimitMs = 40000;
inline constexpr DWORD kGoneLimitMs = 20000;
inline constexpr DWORD kStartLimitMs = 30000;

inline std::filesystem::path installDir() { return getLocalAppDataDir() + L"\\" + kProductDir; }
inline std::filesystem::path dataDir() { return getAppDataDir() + L"\\" + kProductDir; }
// The product appends a line to this file each time it starts.
inline std::filesystem::path startRecord() { return dataDir() / L"runs.log"; }
// Where "/log" without a path writes the install's log.
inline std::filesystem::path defaultLog() { return systemTempFolder() + kSoftId + L"-install.log"; }
// The uninstaller the entry names, in a folder only administrators can change.
inline std::filesystem::path registeredUninstaller()
{
    return std::filesystem::path(uninstallerFolder(kSoftId)) / L"unin.exe";
}

// Removes everything an install of the demo product leaves; before and after
// each test.
void removeTraces();

// A value of the demo product's uninstall entry, read in the entry's own
// registry view; "" when it is missing.
std::wstring entryValue(const wchar_t* name);
// A REG_DWORD value of the entry; false when it is missing or of another type.
bool entryDword(const wchar_t* name, DWORD& value);
// Whether the entry is there (looked at without creating it).
bool entryExists();

// Ends the demo product that an install started (it shows a window and
// stays), found by its program name.
void endStartedProduct();

// The number of starts the product recorded, waiting (bounded) for it to
// reach at least AT_LEAST.
int waitForStarts(int atLeast);

// The reference vendor service on the demo build's vendor host, serving the
// demo content; null when the port is taken (the caller skips).
vendor::Options serviceOptions();
std::unique_ptr<vendor::VendorService> startService();

// The paths of the requests the service received for the demo product, in
// order (other programs on the machine may talk to the same port).
std::vector<std::string> productRequests(const vendor::VendorService& service);

// A program started in its own folder and waited for. Every message box it
// shows is answered and its title recorded: the toolkit's ("TFrmMsgBox") with
// Escape, the system's with "No" where it asks, else "OK".
struct RunResult {
    DWORD exitCode = kStoppedByTest;
    std::vector<std::wstring> boxes;
};
RunResult runAnsweringBoxes(const std::filesystem::path& program, const std::wstring& args);

// The first visible top-level window of process PID with the given class name
// (any when empty) and title (any when empty); null when there is none.
HWND findWindowOf(DWORD pid, const std::wstring& className, const std::wstring& title);

// A program started in its own folder, ended (and so failed) by the test when
// it does not end by itself. A start that fails for good fails the test with
// the system's error.
class StartedProgram {
public:
    StartedProgram(const std::filesystem::path& program, const std::wstring& args);
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;
    // Terminates it if it still runs.
    ~StartedProgram();

    bool started() const { return static_cast<bool>(process_); }
    DWORD pid() const { return pid_; }
    // Whether it has ended, waiting up to WAIT_MS for it.
    bool hasEnded(DWORD waitMs) const;
    // Its exit code once it has ended within LIMIT_MS; else it is terminated
    // and kStoppedByTest comes back.
    DWORD waitForExit(DWORD limitMs);

private:
    win::Handle process_;
    DWORD pid_ = 0;
};

// findWindowOf, waiting up to LIMIT_MS for the window to appear.
HWND waitForWindowOf(DWORD pid, const std::wstring& className, const std::wstring& title,
                     DWORD limitMs = kWindowLimitMs);

// Waits up to LIMIT_MS until WND is gone or hidden.
bool waitUntilGone(HWND wnd, DWORD limitMs = kGoneLimitMs);

// A left click as the mouse sends it, at client coordinates X, Y of WND.
void postClick(HWND wnd, int x, int y);

} // namespace demo
