#include "installer/LogFile.h"

#include "system/Encoding.h"
#include "system/PrivateTempDir.h"

#include <windows.h>

#include <atomic>
#include <cwchar>
#include <string>

namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr wchar_t kTimeFormat[] = L"%04u-%02u-%02u %02u:%02u:%02u.%03u  ";
constexpr wchar_t kInstallSuffix[] = L"-install.log";
constexpr wchar_t kUninstallSuffix[] = L"-uninstall.log";
constexpr wchar_t kNotInFileNames[] = L"\\/:*?\"<>|";

std::atomic<HANDLE> theOpenLog{nullptr};

bool writeAll(HANDLE file, const std::string& bytes)
{
    DWORD written = 0;
    return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::wstring timeStamp()
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    wchar_t text[40] = {};
    std::swprintf(text, 40, kTimeFormat, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds);
    return text;
}

} // namespace

std::shared_ptr<LogFile> LogFile::create(const std::wstring& path)
{
    // A link is opened as the link, and a folder, a junction included, does
    // not open as a file at all.
    win::FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER size{};
    if (!file || !::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        info.nNumberOfLinks != 1 || !::GetFileSizeEx(file.get(), &size) ||
        !::SetFilePointerEx(file.get(), LARGE_INTEGER{}, nullptr, FILE_END))
        return nullptr;
    // The mark once, at the start of the file.
    if (size.QuadPart == 0 && !writeAll(file.get(), kUtf8Mark))
        return nullptr;
    return std::shared_ptr<LogFile>(new LogFile(std::move(file), path));
}

LogFile::LogFile(win::FileHandle file, std::wstring path) : file_(std::move(file)), path_(std::move(path))
{
    theOpenLog = file_.get();
}

LogFile::~LogFile()
{
    HANDLE mine = file_.get();
    theOpenLog.compare_exchange_strong(mine, nullptr);
}

HANDLE openLogFile() { return theOpenLog; }

void LogFile::line(std::wstring_view text)
{
    const std::string bytes = win::toUtf8(timeStamp() + std::wstring(text) + L"\r\n");
    const std::lock_guard lock(mutex_);
    writeAll(file_.get(), bytes);
}

std::wstring defaultLogPath(const std::wstring& name, bool installMode)
{
    std::wstring safe = name;
    for (wchar_t& c : safe)
        if (c < L' ' || std::wstring_view(kNotInFileNames).find(c) != std::wstring_view::npos)
            c = L'_';
    const std::wstring folder = systemTempFolder();
    return folder.empty() ? std::wstring() : folder + safe + (installMode ? kInstallSuffix : kUninstallSuffix);
}
