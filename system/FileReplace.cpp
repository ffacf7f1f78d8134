#include "FileReplace.h"

#include "Handles.h"
#include "NoFollow.h"
#include "util.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

constexpr wchar_t kNewSuffix[] = L".new";
constexpr DWORD kChunkBytes = 64 * 1024;
constexpr DWORD kBlockingAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool copyBytes(HANDLE from, HANDLE to)
{
    std::vector<char> buffer(kChunkBytes);
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(from, buffer.data(), kChunkBytes, &read, nullptr))
            return false;
        if (read == 0)
            return true;
        DWORD written = 0;
        if (!::WriteFile(to, buffer.data(), read, &written, nullptr) || written != read)
            return false;
    }
}

// A read-only file refuses to be replaced; the attributes are cleared on the
// entry itself, a link included.
void clearBlockingAttributes(const std::wstring& target)
{
    const win::FileHandle existing = openNoFollow(target, FILE_WRITE_ATTRIBUTES);
    const DWORD attributes = existing ? attributesOf(existing.get()) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & kBlockingAttributes))
        return;
    FILE_BASIC_INFO basic{};
    const DWORD kept = attributes & ~kBlockingAttributes;
    basic.FileAttributes = kept ? kept : FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(existing.get(), FileBasicInfo, &basic, sizeof(basic));
}

bool renameOver(HANDLE file, const std::wstring& target)
{
    const size_t nameBytes = target.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(info->FileName, target.data(), nameBytes);
    return ::SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != FALSE;
}

} // namespace

bool copyReplacing(const std::wstring& source, const std::wstring& target)
{
    const win::FileHandle from(
        ::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!from)
        return false;
    // Created, never opened: a name someone took meanwhile fails, and the
    // handle, not shared for deleting, keeps the file in our hands.
    const win::FileHandle fresh(::CreateFileW((target + L"." + newCompactGuid() + kNewSuffix).c_str(),
                                              GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!fresh)
        return false;
    bool placed = copyBytes(from.get(), fresh.get());
    if (placed) {
        clearBlockingAttributes(target);
        placed = renameOver(fresh.get(), target);
    }
    if (!placed) {
        const DWORD error = ::GetLastError();
        FILE_DISPOSITION_INFO gone{TRUE};
        ::SetFileInformationByHandle(fresh.get(), FileDispositionInfo, &gone, sizeof(gone));
        ::SetLastError(error);
    }
    return placed;
}
