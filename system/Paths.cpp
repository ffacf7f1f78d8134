#include "Paths.h"

#include <windows.h>

#include <vector>

namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

} // namespace

std::wstring parentFolder(const std::wstring& path)
{
    const size_t last = path.find_last_of(L"\\/");
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

bool isFolder(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
