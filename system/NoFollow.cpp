#include "NoFollow.h"

namespace {

constexpr DWORD kClearedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

} // namespace

win::FileHandle openNoFollow(const std::wstring& path, DWORD access)
{
    return win::FileHandle(::CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

DWORD attributesOf(HANDLE opened)
{
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(opened, &info) ? info.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

bool isRealFolder(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

win::FileHandle openRealFolder(const std::wstring& path)
{
    ::CreateDirectoryW(path.c_str(), nullptr);
    win::FileHandle folder = openNoFollow(path, FILE_TRAVERSE);
    if (folder && isRealFolder(attributesOf(folder.get())) && isRealFolder(::GetFileAttributesW(path.c_str())))
        return folder;
    return {};
}

bool clearProtection(HANDLE opened, DWORD attributes)
{
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & kClearedAttributes))
        return true;
    FILE_BASIC_INFO basic{};
    const DWORD kept = attributes & ~kClearedAttributes;
    basic.FileAttributes = kept ? kept : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(opened, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

bool deleteOpened(HANDLE opened, DWORD attributes)
{
    clearProtection(opened, attributes);
    FILE_DISPOSITION_INFO disposition{TRUE};
    return ::SetFileInformationByHandle(opened, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}
