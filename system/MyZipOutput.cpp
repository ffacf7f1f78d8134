#include "system/MyZipOutput.h"

#include "system/Crc32.h"
#include "system/NoFollow.h"
#include "system/util.h"

namespace myzip {

namespace {

// The new content of a file being replaced, beside it until it checked out.
constexpr wchar_t kFreshSuffix[] = L".new";

// A new file, never an existing name (nor a link standing there).
win::FileHandle createNew(const std::wstring& path)
{
    return win::FileHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// False with the system's error in the thread's last error.
bool writeBlock(HANDLE file, const unsigned char* data, size_t size)
{
    DWORD written = 0;
    if (!::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr))
        return false;
    if (written == size)
        return true;
    ::SetLastError(ERROR_WRITE_FAULT);
    return false;
}

// Modification time and attributes in one call on the open handle: each
// call by path opens the file again.
void setTimeAndAttributes(HANDLE file, time_t mtime, DWORD attributes)
{
    // Seconds since 1970 to 100 ns intervals since 1601.
    const ULONGLONG ticks = (static_cast<ULONGLONG>(mtime) + 11644473600ULL) * 10000000ULL;
    FILE_BASIC_INFO info{};
    info.LastWriteTime.QuadPart = static_cast<LONGLONG>(ticks);
    // Zero would mean "keep the current attributes".
    info.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof(info));
}

// Clears the read-only, hidden and system attributes of what stands at PATH
// (the link itself, never what it points to), which would make the system
// refuse the replacement. False, with the reason in the thread's last error,
// when it cannot even be opened for that. True when nothing stands there any
// more: the file of an earlier entry of the same name, made after this
// entry's file was, is removed when that entry fails.
bool replaceable(const std::wstring& path)
{
    const win::FileHandle existing = openNoFollow(path, FILE_WRITE_ATTRIBUTES);
    if (!existing)
        return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    return clearProtection(existing.get(), attributesOf(existing.get()));
}

} // namespace

EntryOutput::EntryOutput(std::wstring target, time_t mtime, DWORD attributes, std::optional<uint32_t> crc,
                         std::atomic<uint64_t>& written)
    : target_(std::move(target)), mtime_(mtime), attributes_(attributes), expectedCrc_(crc), written_(written)
{
}

void EntryOutput::fail(Skip skip)
{
    // A file that cannot be written beside the one it replaces leaves that
    // one as it was.
    if (replacing_ && skip.reason == TSkipReason::Unwritable)
        skip.reason = TSkipReason::NotReplaced;
    failure_ = skip;
    failed_ = true;
}

// Most targets do not exist yet: the new file is made first, and only a name
// that is taken is looked at (each look-up of a name costs Wine a scan of
// its folder).
void EntryOutput::open()
{
    path_ = target_;
    file_ = createNew(target_);
    if (file_)
        return;
    const DWORD createError = ::GetLastError();
    // A folder is not replaced.
    const DWORD existing = ::GetFileAttributesW(target_.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY))
        return fail({TSkipReason::Unwritable, ERROR_ALREADY_EXISTS});
    if (existing == INVALID_FILE_ATTRIBUTES && createError != ERROR_FILE_EXISTS)
        return fail({TSkipReason::Unwritable, createError});
    // Something stands there (a file, planted or left by an earlier
    // install, or a link that must not be written through): the new content
    // goes beside it and takes its place only once the entry checked out, so
    // a failed entry leaves the old file as it was, and a link is replaced,
    // not followed.
    path_ = target_ + L"." + newCompactGuid() + kFreshSuffix;
    replacing_ = true;
    file_ = createNew(path_);
    if (!file_)
        fail({TSkipReason::Unwritable, ::GetLastError()});
}

void EntryOutput::write(const unsigned char* data, size_t size)
{
    if (failed_)
        return;
    crc_ = crc32Update(crc_, data, size);
    if (!writeBlock(file_.get(), data, size))
        return fail({TSkipReason::Unwritable, ::GetLastError()});
    written_ += size;
}

EntryResult EntryOutput::finish(bool intact)
{
    intact = intact && (!expectedCrc_ || crc_ == *expectedCrc_);
    if (!failed_ && intact)
        setTimeAndAttributes(file_.get(), mtime_, attributes_);
    const bool made = static_cast<bool>(file_);
    file_.reset();
    if (failed_ || !intact) {
        if (made)
            ::DeleteFileW(path_.c_str());
        return failed_ ? failure_ : Skip{TSkipReason::Damaged};
    }
    if (!replacing_ ||
        (replaceable(target_) && ::MoveFileExW(path_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)))
        return {};
    const DWORD error = ::GetLastError();
    ::DeleteFileW(path_.c_str());
    return Skip{TSkipReason::NotReplaced, error};
}

} // namespace myzip
