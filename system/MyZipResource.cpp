#include "system/MyZip.h"

#include "system/Handles.h"
#include "system/Resource.h"

#include <windows.h>

bool resourceExists(const std::wstring& name, const std::wstring& type) { return ownResourceExists(name, type); }

bool writeAllTo(HANDLE file, const void* bytes, size_t size)
{
    const auto* at = static_cast<const char*>(bytes);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, at, chunk, &written, nullptr) || written == 0)
            return false;
        at += written;
        size -= written;
    }
    return true;
}

bool saveResourceToFile(const std::wstring& name, const std::wstring& type, const std::wstring& target)
{
    ::DeleteFileW(target.c_str());
    const auto bytes = ownResourceBytes(name, type);
    bool complete = false;
    {
        win::FileHandle file(
            ::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            complete = writeAllTo(file.get(), bytes.data(), bytes.size());
            if (!complete) {
                file.reset();
                ::DeleteFileW(target.c_str());
            }
        }
    }
    // A stale file that could not be replaced does not count.
    return complete && ::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
}
