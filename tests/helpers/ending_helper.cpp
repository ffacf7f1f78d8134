// Test helper: programs that end the way the installer may, with its crash
// handling installed and its log open at LOG.
//   ending_helper fault LOG
//     reads address 0 on a thread of its own.
//   ending_helper download URL FILE LOG
//     downloads URL into FILE, every request written to the log, and ends
//     the moment the finish notification has come, while the download's
//     worker is still winding down; 0 once the notification came.
#include "installer/CrashExit.h"
#include "installer/LogFile.h"
#include "net/HttpClient.h"
#include "net/UDownThread.h"
#include "system/Encoding.h"

#include <windows.h>

#include <string>
#include <thread>

namespace {

int fault()
{
    std::thread([] {
        volatile int* nowhere = nullptr;
        ::ExitProcess(static_cast<UINT>(*nowhere));
    }).join();
    return 0;
}

int download(const std::wstring& url, const std::wstring& file, const std::shared_ptr<LogFile>& log)
{
    net::setRequestListener([log](const net::RequestRecord& record) {
        log->line(L"request: " + win::fromUtf8(record.url) + L" " + std::to_wstring(record.status));
    });
    TDownloadLimits limits = kDownloadLimits;
    limits.retries = 0;
    bool finished = false;
    int64_t shown = 0;
    StartDownload(
        url, file, nullptr, [&](TDownThread*, int64_t count) { shown = count; },
        [&](TDownThread*, int64_t) { finished = true; },
        limits);
    MSG msg;
    while (!finished && ::GetMessageW(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&msg);
    return finished ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    endCrashesWithOwnCode();
    if (argc < 3)
        return 2;
    const std::wstring mode = argv[1];
    const auto log = LogFile::create(argv[argc - 1]);
    if (!log)
        return 2;
    if (mode == L"fault" && argc == 3)
        return fault();
    if (mode == L"download" && argc == 5)
        return download(argv[2], argv[3], log);
    return 2;
}
