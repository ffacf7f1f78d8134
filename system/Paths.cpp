#include "Paths.h"

#include <windows.h>

#include <cwctype>
#include <vector>

namespace {

constexpr wchar_t kSeparators[] = L"\\/";

bool isDriveLetterPath(const std::wstring& path)
{
    return path.size() >= 2 && path[1] == L':' && std::iswalpha(path[0]);
}

} // namespace

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool isFolder(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring withoutTrailingSeparators(const std::wstring& path)
{
    const size_t keep = path.size() >= 3 && path[1] == L':' && isSeparator(path[2]) ? 3 : 1;
    size_t end = path.size();
    while (end > keep && isSeparator(path[end - 1]))
        --end;
    return path.substr(0, end);
}

std::wstring volumeRoot(const std::wstring& path)
{
    if (isDriveLetterPath(path))
        return path.substr(0, 2) + L"\\";
    // A network path: its free space is that of the share.
    if (path.size() > 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        const size_t server = path.find_first_of(kSeparators, 2);
        if (server == std::wstring::npos || server == 2)
            return {};
        // "\\server\" names no share either.
        const size_t share = path.find_first_of(kSeparators, server + 1);
        if (share == server + 1 || server + 1 == path.size())
            return {};
        return path.substr(0, share) + L"\\";
    }
    return {};
}

std::wstring parentFolder(const std::wstring& path)
{
    const size_t last = path.find_last_of(kSeparators);
    if (last == std::wstring::npos)
        return {};
    size_t end = last;
    while (end > 0 && isSeparator(path[end - 1]))
        --end;
    // "C:" alone names the current folder of drive C:, not its root.
    if (end == 2 && path[1] == L':')
        return path.substr(0, 3);
    return path.substr(0, end == 0 ? 1 : end);
}

std::wstring joinPath(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty() || isSeparator(folder.back()))
        return folder + name;
    return folder + L"\\" + name;
}

bool createFolders(const std::wstring& folder)
{
    // The lengths of the missing folders' paths, the deepest first; every
    // parent is a beginning of its child's path.
    std::vector<size_t> missing;
    std::wstring path = folder;
    while (!path.empty() && !isFolder(path)) {
        missing.push_back(path.size());
        std::wstring parent = parentFolder(path);
        if (parent.size() >= path.size())
            break;
        path = std::move(parent);
    }
    DWORD error = ERROR_SUCCESS;
    for (auto length = missing.rbegin(); length != missing.rend(); ++length) {
        if (!::CreateDirectoryW(folder.substr(0, *length).c_str(), nullptr)) {
            error = ::GetLastError();
            if (error != ERROR_ALREADY_EXISTS)
                break;
        }
    }
    if (isFolder(folder))
        return true;
    ::SetLastError(error == ERROR_SUCCESS ? ERROR_PATH_NOT_FOUND : error);
    return false;
}

bool pathExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool fileSize(const std::wstring& path, uint64_t& size)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}
