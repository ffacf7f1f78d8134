#include "net/UDownThread.h"

#include "system/Encoding.h"
#include "system/Handles.h"
#include "system/util.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <vector>

namespace {

// What the handlers saw, on the thread that started the download.
struct Outcome {
    std::vector<int64_t> totals;
    std::vector<int64_t> counts;
    std::vector<int64_t> finishes;
    bool otherThread = false;
    bool fileClosedAtFinish = false;
};

// Starts the download and processes this thread's messages until the finish
// notification has come (the watchdog only keeps a broken build from hanging).
Outcome download(const std::string& url, const std::filesystem::path& file,
                 const TDownloadLimits& limits = kDownloadLimits)
{
    Outcome outcome;
    const DWORD self = ::GetCurrentThreadId();
    StartDownload(
        std::wstring(url.begin(), url.end()), file.wstring(),
        [&](TDownThread*, int64_t total) {
            outcome.otherThread |= ::GetCurrentThreadId() != self;
            outcome.totals.push_back(total);
        },
        [&](TDownThread*, int64_t count) {
            outcome.otherThread |= ::GetCurrentThreadId() != self;
            outcome.counts.push_back(count);
        },
        [&](TDownThread*, int64_t code) {
            outcome.otherThread |= ::GetCurrentThreadId() != self;
            outcome.finishes.push_back(code);
            // Nobody else may hold the file open any more.
            win::FileHandle exclusive(
                ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            outcome.fileClosedAtFinish = static_cast<bool>(exclusive) || !std::filesystem::is_regular_file(file);
        },
        limits);
    const ULONGLONG deadline = ::GetTickCount64() + 180000;
    while (outcome.finishes.empty() && ::GetTickCount64() < deadline) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }
    // A second finish notification would arrive here.
    ::Sleep(100);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageW(&msg);
    return outcome;
}

std::string patternBytes(size_t size)
{
    std::string bytes(size, '\0');
    uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

LoopbackReply bodyReply(const std::string& body)
{
    LoopbackReply reply;
    reply.contentType = "application/octet-stream";
    reply.body = body;
    return reply;
}

class DownloadTest : public ::testing::Test {
protected:
    std::string url(const std::string& path) const { return server_.origin() + path; }

    LoopbackServer server_;
    TempDir dir_;
};

TEST_F(DownloadTest, BodyGoesIntoTheFileWithProgress)
{
    const std::string body = patternBytes(5 * 1024 * 1024 + 17);
    server_.on("/pkg.zip", [&](const LoopbackRequest&) { return bodyReply(body); });
    const auto file = dir_ / L"pkg.zip";

    const Outcome outcome = download(url("/pkg.zip"), file);

    EXPECT_EQ(outcome.finishes, std::vector<int64_t>{200});
    EXPECT_EQ(outcome.totals, std::vector<int64_t>{static_cast<int64_t>(body.size())});
    ASSERT_FALSE(outcome.counts.empty());
    EXPECT_TRUE(std::is_sorted(outcome.counts.begin(), outcome.counts.end()));
    EXPECT_GT(outcome.counts.front(), 0);
    EXPECT_EQ(outcome.counts.back(), static_cast<int64_t>(body.size()));
    EXPECT_FALSE(outcome.otherThread);
    EXPECT_TRUE(outcome.fileClosedAtFinish);
    EXPECT_TRUE(readFile(file) == body);
}

TEST_F(DownloadTest, ChunkedAnswerAnnouncesNoTotal)
{
    const std::string body = patternBytes(300000);
    server_.on("/chunked", [&](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.stream = [&](uint64_t offset, const std::function<bool(const char*, size_t)>& write) {
            if (offset >= body.size())
                return false;
            return write(body.data() + offset, std::min<size_t>(70000, body.size() - offset));
        };
        return reply;
    });
    const auto file = dir_ / L"chunked.bin";
    const Outcome outcome = download(url("/chunked"), file);
    EXPECT_EQ(outcome.finishes, std::vector<int64_t>{200});
    EXPECT_EQ(outcome.totals, std::vector<int64_t>{0});
    EXPECT_EQ(outcome.counts.back(), static_cast<int64_t>(body.size()));
    EXPECT_TRUE(readFile(file) == body);
}

TEST_F(DownloadTest, MissingFoldersAreCreatedAndAnExistingFileIsReplaced)
{
    server_.on("/small", [](const LoopbackRequest&) { return bodyReply("new"); });
    const auto nested = dir_ / L"a\\b\\c\\file.bin";
    EXPECT_EQ(download(url("/small"), nested).finishes, std::vector<int64_t>{200});
    EXPECT_EQ(readFile(nested), "new");

    const auto existing = dir_ / L"existing.bin";
    writeFile(existing, std::string(100000, 'x'));
    EXPECT_EQ(download(url("/small"), existing).finishes, std::vector<int64_t>{200});
    EXPECT_EQ(readFile(existing), "new");
}

TEST_F(DownloadTest, ErrorStatusIsHandedOnWithoutItsPage)
{
    const auto file = dir_ / L"missing.bin";
    const Outcome outcome = download(url("/missing"), file);
    EXPECT_EQ(outcome.finishes, std::vector<int64_t>{404});
    EXPECT_TRUE(outcome.totals.empty());
    EXPECT_EQ(std::filesystem::file_size(file), 0u);
}

TEST_F(DownloadTest, FailedTransfersEndWithMinusTwo)
{
    const std::string refused = "http://127.0.0.1:" + std::to_string(unusedLoopbackPort()) + "/x";
    EXPECT_EQ(download(refused, dir_ / L"refused.bin").finishes, std::vector<int64_t>{-2});
    EXPECT_EQ(download("https://127.0.0.1/x", dir_ / L"tls.bin").finishes, std::vector<int64_t>{-2});

    // The target is a folder: the file cannot be created.
    server_.on("/small", [](const LoopbackRequest&) { return bodyReply("data"); });
    std::filesystem::create_directories(dir_ / L"folder");
    const Outcome outcome = download(url("/small"), dir_ / L"folder");
    EXPECT_EQ(outcome.finishes, std::vector<int64_t>{-2});
    EXPECT_TRUE(outcome.totals.empty());
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(DownloadTest, StalledServerEndsWithMinusTwoAfterTheIdleTime)
{
    server_.on("/stall", [this](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.length = 1000;
        reply.stream = [this](uint64_t offset, const std::function<bool(const char*, size_t)>& write) {
            if (offset == 0)
                return write("0123456789", 10);
            server_.waitForStop(120000);
            return false;
        };
        return reply;
    });
    const auto file = dir_ / L"stall.bin";
    const Outcome outcome = download(url("/stall"), file, {{10, 2}, kDownloadLimits.diskReserveBytes, 0});
    EXPECT_EQ(outcome.finishes, std::vector<int64_t>{-2});
    EXPECT_EQ(outcome.totals, std::vector<int64_t>{1000});
    EXPECT_EQ(readFile(file), "0123456789");
}

TEST_F(DownloadTest, TricklingServerFailsOnTheSpeedBound)
{
    // 10 bytes every 100 ms for 10 s: never idle, far below 1000 bytes a second.
    std::atomic<bool> sentAll{false};
    server_.on("/trickle", [&](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.length = 1000;
        reply.stream = [&](uint64_t offset, const std::function<bool(const char*, size_t)>& write) {
            if (server_.waitForStop(100) || !write("0123456789", 10))
                return false;
            sentAll = offset + 10 == 1000;
            return true;
        };
        return reply;
    });
    const Outcome outcome = download(url("/trickle"), dir_ / L"slow.bin", {{10, 60, 0, 1000, 1}, 0, 0});
    EXPECT_EQ(outcome.finishes, std::vector<int64_t>{-2});
    EXPECT_FALSE(sentAll) << "the download waited for the server to finish";
}

TEST_F(DownloadTest, BodyThatWouldFillTheDiskFails)
{
    // The reserve leaves room for 1 MiB; the body is 32 MiB, announced or not.
    ULARGE_INTEGER available{};
    ASSERT_TRUE(::GetDiskFreeSpaceExW(dir_.str().c_str(), &available, nullptr, nullptr));
    const TDownloadLimits limits{kDownloadLimits.timeouts, available.QuadPart - (1u << 20)};
    for (const uint64_t length : {uint64_t{0}, uint64_t{32} << 20}) {
        server_.on("/big", [length](const LoopbackRequest&) {
            LoopbackReply reply;
            reply.length = length;
            reply.stream = [](uint64_t offset, const std::function<bool(const char*, size_t)>& write) {
                const std::string piece(1u << 20, 'x');
                return offset < (uint64_t{32} << 20) && write(piece.data(), piece.size());
            };
            return reply;
        });
        const Outcome outcome = download(url("/big"), dir_ / L"big.bin", limits);
        EXPECT_EQ(outcome.finishes, std::vector<int64_t>{-2}) << length;
        EXPECT_LT(std::filesystem::file_size(dir_ / L"big.bin"), 2u << 20) << length;
    }
}

TEST_F(DownloadTest, DetachedOwnerGetsNoMoreNotifications)
{
    const std::string body = patternBytes(4 * 1024 * 1024);
    server_.on("/pkg.zip", [&](const LoopbackRequest&) { return bodyReply(body); });
    std::vector<int64_t> seen;
    bool finished = false;
    {
        TDownloadLink link;
        StartDownload(
            win::fromUtf8(url("/pkg.zip")), (dir_ / L"pkg.zip").wstring(),
            link.guard([&](TDownThread*, int64_t total) { seen.push_back(total); }),
            link.guard([&](TDownThread*, int64_t count) { seen.push_back(count); }),
            link.guard([&](TDownThread*, int64_t) { finished = true; }));
        // The owner goes away before the worker's first notification.
    }
    // The worker still ends, frees itself and closes its file.
    const ULONGLONG deadline = ::GetTickCount64() + 60000;
    while (::GetTickCount64() < deadline) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
        win::FileHandle closed(::CreateFileW((dir_ / L"pkg.zip").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
        if (closed && std::filesystem::file_size(dir_ / L"pkg.zip") == body.size())
            break;
        ::Sleep(20);
    }
    EXPECT_TRUE(seen.empty());
    EXPECT_FALSE(finished);
    EXPECT_EQ(std::filesystem::file_size(dir_ / L"pkg.zip"), body.size());
}

} // namespace
