#include "net/UDownThread.h"

#include "system/Encoding.h"
#include "system/Handles.h"

#include <filesystem>
#include <map>
#include <system_error>

namespace {

constexpr wchar_t kHandOffClass[] = L"InstallerDownloadHandOff";
constexpr UINT kRunCall = WM_APP + 0x40;
constexpr UINT kProgressIntervalMs = 50;

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

// The bytes that may be written into the folder of FILE and still leave
// RESERVE free; 0 when the free space is unknown or below the reserve.
uint64_t diskBudget(const std::wstring& file, uint64_t reserve)
{
    std::wstring folder = std::filesystem::path(file).parent_path().wstring();
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr) || available.QuadPart <= reserve)
        return 0;
    return available.QuadPart - reserve;
}

} // namespace

TDownThread::TDownThread(HWND handOff, const TDownloadLimits& limits)
    : HTTP(limits.timeouts), diskReserve_(limits.diskReserveBytes), handOffWindow_(handOff)
{
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
    win::Handle thread(::CreateThread(nullptr, 0, threadMain, this, CREATE_SUSPENDED, nullptr));
    return thread && ::ResumeThread(thread.get()) != static_cast<DWORD>(-1);
}

DWORD WINAPI TDownThread::threadMain(void* self)
{
    auto* worker = static_cast<TDownThread*>(self);
    worker->Execute();
    delete worker;
    return 0;
}

void TDownThread::Execute()
{
    {
        // Only a file that was there already is cut: truncating a new one
        // costs time, under Wine a flush of the whole file when it is closed.
        win::FileHandle file(::CreateFileW(FFileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file && ::GetLastError() == ERROR_ALREADY_EXISTS && !::SetEndOfFile(file.get()))
            file.reset();
        if (!file) {
            FResponseCode = -2;
        } else {
            FResponseCode = -1;
            bool isBody = false;
            const uint64_t budget = diskBudget(FFileName, diskReserve_);
            net::HttpReceiver receiver;
            receiver.onBegin = [&](int status, int64_t total) {
                // An error page is not the file asked for: it is neither
                // written nor shown as progress.
                isBody = status >= 200 && status <= 299;
                if (!isBody)
                    return true;
                if (static_cast<uint64_t>(total) > budget)
                    return false;
                FWorkCountMax = total;
                if (FOnWorkBeginEvent)
                    handOff([&] { FOnWorkBeginEvent(this, FWorkCountMax); });
                return true;
            };
            receiver.onData = [&](const char* data, size_t size) {
                if (!isBody)
                    return true;
                if (static_cast<uint64_t>(received_) + size > budget || !writeAll(file.get(), data, size))
                    return false;
                if (onData_)
                    onData_(data, size);
                received_ += static_cast<int64_t>(size);
                return true;
            };
            const int status = HTTP.get(win::toUtf8(FURL), receiver);
            FResponseCode = status < 0 ? -2 : status;
        }
    }
    // The file is closed here: the handler may open, move or run it.
    if (FOnFinish || progressTimer_)
        handOff([&] {
            if (progressTimer_) {
                ::KillTimer(handOffWindow_, progressTimer_);
                downloadsByTimer.erase(progressTimer_);
            }
            showProgress();
            if (FOnFinish)
                FOnFinish(this, FResponseCode);
        });
}

void StartDownload(const std::wstring& URL, const std::wstring& FileName, TOnWorkBeginEvent OnWorkBegin,
                   TOnWorkEvent OnWork, TOnFinishEvent OnFinish, const TDownloadLimits& limits, TOnBodyData OnData)
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
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(FileName).parent_path(), ignored);
    worker->FFileName = FileName;
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
        // No thread: the caller still gets its one finish notification.
        if (worker->FOnFinish)
            worker->FOnFinish(nullptr, -2);
        delete worker;
    }
}
