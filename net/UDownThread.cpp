#include "net/UDownThread.h"

#include "net/RequestQueue.h"
#include "system/Encoding.h"
#include "system/Handles.h"
#include "system/Paths.h"
#include "system/WriteBehind.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <system_error>

namespace {

constexpr wchar_t kHandOffClass[] = L"InstallerDownloadHandOff";
constexpr UINT kRunCall = WM_APP + 0x40;
// A posted call the window procedure runs once and frees.
constexpr UINT kRunPostedCall = WM_APP + 0x41;
// How long the finish waits for the worker's thread to be gone: only its
// own ending is left to it by then.
constexpr DWORD kThreadEndLimitMs = 10000;
constexpr UINT kProgressIntervalMs = 50;
constexpr char kRangeHeader[] = "Range";
constexpr char kIfRangeHeader[] = "If-Range";
constexpr char kBytesFrom[] = "bytes=";
constexpr int kPartialContent = 206;

// The downloads this thread started, by their progress timer. A timer
// message that comes after its download ended finds nothing here.
thread_local std::map<UINT_PTR, TDownThread*> downloadsByTimer;
thread_local UINT_PTR lastTimerId = 0;

LRESULT CALLBACK handOffProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == kRunCall) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    }
    if (msg == kRunPostedCall) {
        const std::unique_ptr<std::function<void()>> call(reinterpret_cast<std::function<void()>*>(lParam));
        (*call)();
        return 0;
    }
    return ::DefWindowProcW(wnd, msg, wParam, lParam);
}

// A hidden message-only window of the calling thread: what the worker sends
// it runs on this thread, the next time the thread processes its messages.
HWND handOffWindowOfThisThread()
{
    static const ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = handOffProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kHandOffClass;
        return ::RegisterClassExW(&wc);
    }();
    thread_local HWND wnd = atom ? ::CreateWindowExW(0, kHandOffClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                                     ::GetModuleHandleW(nullptr), nullptr)
                                 : nullptr;
    return wnd;
}

bool writeAll(HANDLE file, const char* data, size_t size)
{
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// The body goes to the file on a thread of its own: the next socket read
// overlaps the write of the last piece.
class BodyWriter {
public:
    // SHOWN: the most bytes of the body the file has held so far.
    BodyWriter(HANDLE file, std::atomic<int64_t>& shown) : file_(file), shown_(shown) {}

    // Queues SIZE bytes that end at offset END of the body. They are written
    // soon also when no more follow for a while (a stalled transfer).
    void write(const char* data, size_t size, int64_t end)
    {
        while (size > 0) {
            WriteBehind::Block block = writer_.take();
            block.size = std::min(size, WriteBehind::kBlockSize);
            std::memcpy(block.data.get(), data, block.size);
            data += block.size;
            size -= block.size;
            post(std::move(block), end - static_cast<int64_t>(size));
        }
    }

    // Waits until everything queued is in the file; false when a write failed.
    bool settle()
    {
        writer_.drain();
        return !failed_;
    }

    bool failed() const { return failed_; }

private:
    void post(WriteBehind::Block block, int64_t end)
    {
        writer_.post(
            [this, end](const WriteBehind::Block& block) {
                if (failed_ || !writeAll(file_, reinterpret_cast<const char*>(block.data.get()), block.size))
                    failed_ = true;
                // The bar never goes back, also when the file starts over.
                else if (end > shown_)
                    shown_ = end;
            },
            std::move(block));
    }

    HANDLE file_;
    std::atomic<int64_t>& shown_;
    std::atomic<bool> failed_{false};
    WriteBehind writer_;
};

// The bytes that may be written into the folder of FILE and still leave
// RESERVE free; 0 when the free space is unknown or below the reserve.
uint64_t diskBudget(const std::wstring& file, uint64_t reserve)
{
    std::wstring folder = parentFolder(file);
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr) || available.QuadPart <= reserve)
        return 0;
    return available.QuadPart - reserve;
}

} // namespace

TDownThread::TDownThread(HWND handOff, const TDownloadLimits& limits)
    : HTTP(limits.timeouts), limits_(limits), handOffWindow_(handOff)
{
}

bool TDownThread::startOver(HANDLE file, int64_t& written)
{
    written = 0;
    if (onData_)
        onData_(0, "", 0);
    LARGE_INTEGER start{};
    return ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
}

void TDownThread::handOff(const std::function<void()>& call) const
{
    ::SendMessageW(handOffWindow_, kRunCall, 0, reinterpret_cast<LPARAM>(&call));
}

void TDownThread::showProgress()
{
    const int64_t received = received_;
    if (received == FWorkCount)
        return;
    FWorkCount = received;
    if (FOnWorkEvent)
        FOnWorkEvent(this, FWorkCount);
}

void CALLBACK TDownThread::progressTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    if (const auto found = downloadsByTimer.find(id); found != downloadsByTimer.end())
        found->second->showProgress();
}

bool TDownThread::start()
{
    // Kept before the thread runs: its finish waits for it to be gone.
    thread_.reset(::CreateThread(nullptr, 0, threadMain, this, CREATE_SUSPENDED, nullptr));
    return thread_ && ::ResumeThread(thread_.get()) != static_cast<DWORD>(-1);
}

DWORD WINAPI TDownThread::threadMain(void* self)
{
    static_cast<TDownThread*>(self)->Execute();
    return 0;
}

void TDownThread::finish()
{
    // The worker's thread is gone before anything else happens here: the
    // handler may end the program at once, and a worker still tearing down
    // its thread in the C runtime while the process ends brings the process
    // down with it.
    ::WaitForSingleObject(thread_.get(), kThreadEndLimitMs);
    if (progressTimer_) {
        ::KillTimer(handOffWindow_, progressTimer_);
        downloadsByTimer.erase(progressTimer_);
    }
    showProgress();
    if (FOnFinish)
        FOnFinish(this, FResponseCode);
    delete this;
}

void TDownThread::Execute()
{
    // The service's requests made before the download reach it first (the
    // install report before the package).
    net::waitForQueuedRequests();
    {
        // Only a file that was there already is cut: truncating a new one
        // costs time, under Wine a flush of the whole file when it is closed.
        win::FileHandle file(into_ ? into_
                                   : ::CreateFileW(FFileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file && !into_ && ::GetLastError() == ERROR_ALREADY_EXISTS && !::SetEndOfFile(file.get()))
            file.reset();
        into_ = nullptr;
        FResponseCode = file ? transfer(file.get()) : -2;
    }
    // The file is closed here: the handler may open, move or run it. The
    // rest happens on the starting thread once this one has ended; nothing
    // of the download runs from here on. When that thread has gone (its
    // window with it), nobody waits for the outcome.
    auto call = std::make_unique<std::function<void()>>([this] { finish(); });
    if (::PostMessageW(handOffWindow_, kRunPostedCall, 0, reinterpret_cast<LPARAM>(call.get())))
        call.release();
    else
        delete this;
}

int32_t TDownThread::transfer(HANDLE file)
{
    // The cap counts the whole file, whichever try wrote it.
    const uint64_t budget = diskBudget(FFileName, limits_.diskReserveBytes);
    // The body's bytes in the file; what the last whole answer said of it.
    int64_t written = 0;
    int64_t total = 0;
    std::string validator;
    BodyWriter body(file, received_);
    // Whether the next try may ask for the rest only.
    bool resumable = false;
    bool begun = false;
    for (int retry = 0;; ++retry) {
        const bool resuming = written > 0 && resumable;
        if (written > 0 && !resuming && !startOver(file, written))
            return -2;
        net::HttpHeaders headers;
        if (resuming) {
            headers.emplace_back(kRangeHeader, kBytesFrom + std::to_string(written) + "-");
            if (!validator.empty())
                headers.emplace_back(kIfRangeHeader, validator);
        }
        bool isBody = false;
        // Stopped here for good: a write that failed, a body too big.
        bool stopped = false;
        net::HttpReceiver receiver;
        receiver.onBegin = [&](const net::HttpAnswer& answer) {
            // An error page is not the file asked for: it is neither written
            // nor shown as progress.
            isBody = answer.status >= 200 && answer.status <= 299;
            if (!isBody)
                return true;
            if (answer.status == kPartialContent) {
                // Only the rest of the same version of the file fits on
                // what it holds, and only a validator tells the version: a
                // part without one, or of another version, is fetched whole
                // next time.
                resumable = resuming && answer.rangeFirst == written && answer.rangeTotal >= 0 &&
                            (total == 0 || answer.rangeTotal == total) && !answer.validator.empty() &&
                            answer.validator == validator;
                if (resumable)
                    total = answer.rangeTotal;
                return resumable;
            }
            // The whole body, also where a range was asked for: the server
            // ignores ranges, or the file changed since.
            if (written > 0 && !startOver(file, written)) {
                stopped = true;
                return false;
            }
            total = answer.length;
            validator = answer.validator;
            // Without a validator no part could be told to be of this file.
            resumable = !answer.refusesRanges && !validator.empty();
            if (static_cast<uint64_t>(total) > budget) {
                stopped = true;
                return false;
            }
            if (!begun) {
                begun = true;
                FWorkCountMax = total;
                if (FOnWorkBeginEvent)
                    handOff([&] { FOnWorkBeginEvent(this, FWorkCountMax); });
            }
            return true;
        };
        receiver.onData = [&](const char* data, size_t size) {
            if (!isBody)
                return true;
            if (static_cast<uint64_t>(written) + size > budget || body.failed()) {
                stopped = true;
                return false;
            }
            if (onData_)
                onData_(static_cast<uint64_t>(written), data, size);
            written += static_cast<int64_t>(size);
            body.write(data, size, written);
            return true;
        };
        const int status = HTTP.get(win::toUtf8(FURL), receiver, headers);
        // All that came is in the file before the file is judged, resumed
        // or cut.
        if (!body.settle())
            return -2;
        // A piece that ends before the whole is a transfer still broken.
        if (status >= 0 && (status != kPartialContent || written == total))
            return status;
        // Only a transfer whose body had begun is tried again: a server that
        // cannot be reached at all fails at once.
        if (stopped || !begun || retry >= limits_.retries)
            return -2;
        ::Sleep(static_cast<DWORD>(limits_.firstPause.count()) << retry);
    }
}

void StartDownload(const std::wstring& URL, const std::wstring& FileName, TOnWorkBeginEvent OnWorkBegin,
                   TOnWorkEvent OnWork, TOnFinishEvent OnFinish, const TDownloadLimits& limits, TOnBodyData OnData,
                   HANDLE into)
{
    const HWND handOff = handOffWindowOfThisThread();
    if (!handOff) {
        // Nothing could reach this thread later: fail at once, still with
        // the one finish notification.
        if (OnFinish)
            OnFinish(nullptr, -2);
        return;
    }
    auto* worker = new TDownThread(handOff, limits);
    worker->FOnWorkBeginEvent = std::move(OnWorkBegin);
    worker->FOnWorkEvent = std::move(OnWork);
    worker->FOnFinish = std::move(OnFinish);
    worker->onData_ = std::move(OnData);
    worker->FURL = URL;
    createFolders(parentFolder(FileName));
    worker->FFileName = FileName;
    const HANDLE process = ::GetCurrentProcess();
    if (into && !::DuplicateHandle(process, into, process, &worker->into_, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        if (worker->FOnFinish)
            worker->FOnFinish(nullptr, -2);
        delete worker;
        return;
    }
    if (worker->FOnWorkEvent) {
        worker->progressTimer_ = ++lastTimerId;
        downloadsByTimer[worker->progressTimer_] = worker;
        ::SetTimer(handOff, worker->progressTimer_, kProgressIntervalMs, &TDownThread::progressTimer);
    }
    if (!worker->start()) {
        if (worker->progressTimer_) {
            ::KillTimer(handOff, worker->progressTimer_);
            downloadsByTimer.erase(worker->progressTimer_);
        }
        if (worker->into_)
            ::CloseHandle(worker->into_);
        // No thread: the caller still gets its one finish notification.
        if (worker->FOnFinish)
            worker->FOnFinish(nullptr, -2);
        delete worker;
    }
}
