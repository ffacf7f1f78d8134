// Time from a program's start to its first visible window, for each program
// named, in turns, with the reference vendor service on the demo build's
// vendor host first answering and then stalling every pre-install report.
// Usage: startup_bench CONTENT_DIR RUNS PROGRAM...
#include "vendor_service/VendorService.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kServicePort = 8765;
constexpr char kPreInstall[] = "/api/report/preinstall";
constexpr char kStallForever[] = "stall:600000";
constexpr auto kWindowLimit = std::chrono::seconds(60);
constexpr DWORD kEndWaitMs = 10000;

struct Search {
    DWORD pid;
    HWND found = nullptr;
};

// The size of the window the last start showed (at 192 DPI the installer's
// is twice its 96-DPI size: what shows the DPI took).
SIZE lastWindowSize{};

BOOL CALLBACK visibleWindowOf(HWND wnd, LPARAM param)
{
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    if (pid == search->pid && ::IsWindowVisible(wnd)) {
        search->found = wnd;
        return FALSE;
    }
    return TRUE;
}

// Seconds from the start of PROGRAM to its first visible window; the program
// is ended afterwards. Negative when no window came.
double secondsToWindow(const std::wstring& program)
{
    std::wstring command = L"\"" + program + L"\"";
    const std::wstring folder = std::filesystem::path(program).parent_path().wstring();
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    const Clock::time_point start = Clock::now();
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi))
        return -1;
    double seconds = -1;
    Search search{pi.dwProcessId};
    while (Clock::now() - start < kWindowLimit && ::WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
        ::EnumWindows(visibleWindowOf, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
            RECT r{};
            ::GetWindowRect(search.found, &r);
            lastWindowSize = {r.right - r.left, r.bottom - r.top};
            break;
        }
        ::Sleep(1);
    }
    ::TerminateProcess(pi.hProcess, 0);
    ::WaitForSingleObject(pi.hProcess, kEndWaitMs);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return seconds;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string nameOf(const std::wstring& program)
{
    const std::wstring name = std::filesystem::path(program).filename().wstring();
    return std::string(name.begin(), name.end());
}

void measure(const char* state, int runs, const std::vector<std::wstring>& programs)
{
    std::vector<std::vector<double>> times(programs.size());
    std::printf("service %s, seconds to the first visible window:\nrun", state);
    for (const auto& program : programs)
        std::printf("  %18s", nameOf(program).c_str());
    std::printf("\n");
    for (int run = 1; run <= runs; ++run) {
        std::printf("%3d", run);
        for (size_t i = 0; i < programs.size(); ++i) {
            // Turn about, so that none always comes first.
            const size_t p = (i + static_cast<size_t>(run)) % programs.size();
            times[p].push_back(secondsToWindow(programs[p]));
        }
        for (const auto& t : times)
            std::printf("  %18.3f", t.back());
        std::printf("\n");
    }
    std::printf("med");
    for (const auto& t : times)
        std::printf("  %18.3f", median(t));
    std::printf("\n");
    for (size_t i = 1; i < programs.size(); ++i)
        std::printf("%s - %s: %+.3f s\n", nameOf(programs[i]).c_str(), nameOf(programs[0]).c_str(),
                    median(times[i]) - median(times[0]));
    std::fflush(stdout);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        std::fputs("usage: startup_bench CONTENT_DIR RUNS PROGRAM...\n", stderr);
        return 2;
    }
    vendor::Options options;
    options.port = kServicePort;
    options.contentDir = argv[1];
    const int runs = std::max(1, _wtoi(argv[2]));
    const std::vector<std::wstring> programs(argv + 3, argv + argc);
    vendor::VendorService service(options);
    if (!service.start()) {
        std::fprintf(stderr, "startup_bench: port %d is taken\n", kServicePort);
        return 1;
    }
    // Warm: every program once, not counted.
    for (const auto& program : programs) {
        if (secondsToWindow(program) < 0) {
            std::fprintf(stderr, "startup_bench: %s showed no window\n", nameOf(program).c_str());
            return 1;
        }
        std::printf("%s: first window %ld x %ld\n", nameOf(program).c_str(), lastWindowSize.cx, lastWindowSize.cy);
    }
    measure("answering", runs, programs);
    vendor::Fault stall;
    vendor::Fault::parse(kStallForever, stall);
    service.setFault(kPreInstall, stall);
    measure("stalling", runs, programs);
    return 0;
}
