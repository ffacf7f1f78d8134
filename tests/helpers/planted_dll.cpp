// Test helper: a DLL that leaves a mark beside itself (its own path followed
// by ".mark") when a process loads it. Copied under a system DLL's name into
// a folder, it shows whether a program started there loaded it.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t path[MAX_PATH + 8] = {};
    const DWORD n = ::GetModuleFileNameW(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return TRUE;
    ::lstrcatW(path, L".mark");
    const HANDLE mark = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(mark, "loaded", 6, &written, nullptr);
        ::CloseHandle(mark);
    }
    return TRUE;
}
