// One timed download with the installer's worker, for bench/run (prints the
// seconds taken).
// Usage: download_bench get URL FILE
#include "net/UDownThread.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

int get(const std::wstring& url, const std::wstring& file)
{
    bool done = false;
    int64_t code = 0;
    int64_t bytes = 0;
    uint64_t notifications = 0;
    // The installer downloads from a thread that has its windows already;
    // the first window of a process makes Wine start its desktop, which is
    // no part of the download.
    ::DestroyWindow(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    const auto start = std::chrono::steady_clock::now();
    StartDownload(
        url, file, nullptr,
        [&](TDownThread*, int64_t count) {
            bytes = count;
            ++notifications;
        },
        [&](TDownThread*, int64_t result) {
            code = result;
            done = true;
        });
    while (!done) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (code != 200 || bytes <= 0 || notifications == 0) {
        std::fwprintf(stderr, L"download_bench: status %lld, %lld bytes, %llu progress notifications\n",
                      static_cast<long long>(code), static_cast<long long>(bytes),
                      static_cast<unsigned long long>(notifications));
        return 1;
    }
    std::printf("%.4f\n", secs);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4 || std::wstring(argv[1]) != L"get") {
        std::fwprintf(stderr, L"usage: download_bench get URL FILE\n");
        return 2;
    }
    return get(argv[2], argv[3]);
}
