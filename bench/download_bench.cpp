// The loopback server of bench/run's download measure, and one timed
// download from it with the installer's worker (prints the seconds taken).
// Usage: download_bench serve PORT_FILE SIZE_MB   (until /quit is fetched)
//        download_bench get URL FILE
#include "net/UDownThread.h"
#include "tests/support/LoopbackServer.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr size_t kSlice = 256 * 1024;

int serve(const wchar_t* portFile, uint64_t size)
{
    std::string pattern(4 * kSlice, '\0');
    uint32_t state = 1;
    for (char& byte : pattern) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    std::atomic<bool> quit{false};
    LoopbackServer server;
    server.on("/big", [&](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.contentType = "application/octet-stream";
        reply.length = size;
        reply.stream = [&pattern, size](uint64_t offset, const std::function<bool(const char*, size_t)>& write) {
            const size_t start = static_cast<size_t>(offset % kSlice);
            const size_t count = static_cast<size_t>(std::min<uint64_t>(3 * kSlice, size - offset));
            return write(pattern.data() + start, count);
        };
        return reply;
    });
    server.on("/quit", [&](const LoopbackRequest&) {
        quit = true;
        return LoopbackReply{};
    });
    std::ofstream(portFile) << server.port() << "\n";
    while (!quit)
        ::Sleep(100);
    return 0;
}

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
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"serve" && argc == 4)
        return serve(argv[2], std::stoull(argv[3]) * 1024 * 1024);
    if (mode == L"get" && argc == 4)
        return get(argv[2], argv[3]);
    std::fwprintf(stderr, L"usage: download_bench serve PORT_FILE SIZE_MB | get URL FILE\n");
    return 2;
}
