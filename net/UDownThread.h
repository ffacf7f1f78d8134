// Downloads one URL into one file on a worker thread of its own, handing the
// progress and the outcome to the thread that started it.
#pragma once

#include "net/HttpClient.h"
#include "system/Handles.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TDownThread;

// The handlers run on the thread that called StartDownload, while it
// processes its messages; the worker waits until the begin handler has
// returned. A window that may be destroyed before its download
// ends guards its handlers with a TDownloadLink, so late notifications are
// dropped.
using TOnWorkBeginEvent = std::function<void(TDownThread* Sender, int64_t AWorkCountMax)>;
// AWorkCount: the most bytes of the body the file has held so far, when that
// has grown, looked at every 50 ms and once more before the finish handler.
// A download that starts over shows no less until it has passed that mark:
// the bar never goes back. The worker goes on receiving meanwhile: waiting
// for the starting thread after every piece cost more than the transfer
// itself.
using TOnWorkEvent = std::function<void(TDownThread* Sender, int64_t AWorkCount)>;
// ResponseCode: the HTTP status of the last answer (206 for a download that
// resumed), or -2 when the download failed (no connection, time-out, a
// transfer broken more often than it may be tried again, file not
// writable). Callers count a code below 0 or above 300 as failure. It comes
// last, after the file has been closed and the worker's thread has ended,
// exactly once per download (with a null Sender when no worker could be
// started at all): the handler may end the program at once.
using TOnFinishEvent = std::function<void(TDownThread* Sender, int64_t ResponseCode)>;
// Sees every byte of the body as it is received, in order, on the worker's
// thread (the package's signature check hashes them on the way: no second
// pass over the file). OFFSET: where DATA stands in the file. Whenever the
// file is emptied to start over, a call at 0 without bytes says so first:
// what came before is void, also when nothing follows (an empty answer).
using TOnBodyData = std::function<void(uint64_t offset, const char* data, size_t size)>;

// Shared between an owner and the handlers it gave a worker. Once the owner
// detaches (or the link is destroyed with it) the guarded handlers do
// nothing; the worker still runs to its end. Used on the
// user-interface thread only, where the handlers run too.
class TDownloadLink {
public:
    TDownloadLink() : attached_(std::make_shared<bool>(true)) {}
    TDownloadLink(const TDownloadLink&) = delete;
    TDownloadLink& operator=(const TDownloadLink&) = delete;
    ~TDownloadLink() { detach(); }

    void detach() { *attached_ = false; }

    template <typename Handler>
    auto guard(Handler handler) const
    {
        return [attached = attached_, handler = std::move(handler)](TDownThread* sender, int64_t value) {
            if (*attached)
                handler(sender, value);
        };
    }

private:
    std::shared_ptr<bool> attached_;
};

// What ends a download as failed, and how often a broken transfer is resumed.
struct TDownloadLimits {
    // Of each try.
    net::HttpTimeouts timeouts;
    // The body may not leave less than this free on the file's drive; a body
    // that announces more, or (without a length) grows past it, fails.
    uint64_t diskReserveBytes;
    // A transfer that breaks once its body has begun is tried again this
    // often: from where it broke when the server serves ranges of the same
    // version of the file, else from the start. The worker's thread waits
    // out the pauses; the starting thread goes on handling its messages.
    int retries = 3;
    // Before the first of them; each next pause is twice as long.
    std::chrono::milliseconds firstPause{1000};
};
// No byte for a minute, or less than 64 KiB in a minute, fails a try; so does
// a body that would leave less than 100 MB free. Three more tries, after 1, 2
// and 4 seconds.
inline constexpr TDownloadLimits kDownloadLimits{{10, 60, 0, 64 * 1024, 60}, 100ull * 1024 * 1024};

// Starts the download and returns at once. The folders of FILENAME are
// created first; an existing file of that name is replaced. INTO, when
// given, is FILENAME already created, empty, held open for writing by the
// caller: the worker writes through a second handle to it and never opens
// the name, so a caller that denies other writers keeps the file its own.
void StartDownload(const std::wstring& URL, const std::wstring& FileName, TOnWorkBeginEvent OnWorkBegin,
                   TOnWorkEvent OnWork, TOnFinishEvent OnFinish, const TDownloadLimits& limits = kDownloadLimits,
                   TOnBodyData OnData = {}, HANDLE into = nullptr);

// One download. Created suspended by StartDownload; freed on the starting
// thread after its finish notification, or by its own thread when the
// starting thread is gone.
class TDownThread {
public:
    const std::wstring& URL() const { return FURL; }
    const std::wstring& FileName() const { return FFileName; }
    int64_t WorkCountMax() const { return FWorkCountMax; }
    // The count last handed to the work handler.
    int64_t WorkCount() const { return FWorkCount; }

private:
    friend void StartDownload(const std::wstring&, const std::wstring&, TOnWorkBeginEvent, TOnWorkEvent,
                              TOnFinishEvent, const TDownloadLimits&, TOnBodyData, HANDLE);

    TDownThread(HWND handOff, const TDownloadLimits& limits);
    TDownThread(const TDownThread&) = delete;
    TDownThread& operator=(const TDownThread&) = delete;
    ~TDownThread() = default;

    bool start();
    static DWORD WINAPI threadMain(void* self);
    void Execute();
    // On the starting thread, once the worker's thread has posted its end.
    void finish();
    // The GET into FILE, tried again as the limits allow; the status of the
    // last answer, or -2.
    int32_t transfer(HANDLE file);
    // Empties FILE to start over, and tells the body's tap.
    bool startOver(HANDLE file, int64_t& written);
    void handOff(const std::function<void()>& call) const;
    void showProgress();
    static void CALLBACK progressTimer(HWND wnd, UINT msg, UINT_PTR id, DWORD time);

    net::HttpClient HTTP;
    TOnWorkBeginEvent FOnWorkBeginEvent;
    TOnWorkEvent FOnWorkEvent;
    TOnFinishEvent FOnFinish;
    TOnBodyData onData_;
    int32_t FResponseCode = -1;
    std::wstring FURL;
    std::wstring FFileName;
    // The caller's file, when it gave one: a duplicate of its handle.
    HANDLE into_ = nullptr;
    int64_t FWorkCountMax = 0;
    int64_t FWorkCount = 0;
    TDownloadLimits limits_;
    // The most bytes the file has held. Written by the worker, read by the
    // starting thread's timer.
    std::atomic<int64_t> received_{0};
    UINT_PTR progressTimer_ = 0;
    HWND handOffWindow_;
    win::Handle thread_;
};
