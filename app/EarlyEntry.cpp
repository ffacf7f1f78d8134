// The process's entry point, ahead of the C runtime's: it locks the DLL
// search order before anything of ours runs, static initialisers included.
// The installer is usually started elevated from the Downloads folder, where
// anyone may have left a DLL named like a system one; a library loaded by bare
// name must then come from System32, never from the program's own folder or
// the current one.
#include <windows.h>

// The C runtime's entry of a wWinMain program (mingw-w64 names it alike for
// wide and narrow programs).
#if defined(_MSC_VER)
extern "C" int wWinMainCRTStartup();
#define CRT_ENTRY wWinMainCRTStartup
#else
extern "C" int WinMainCRTStartup();
#define CRT_ENTRY WinMainCRTStartup
#endif

namespace {

constexpr wchar_t kKernel32[] = L"kernel32.dll";
constexpr char kSetDefaultDllDirectories[] = "SetDefaultDllDirectories";

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

} // namespace

extern "C" int earlyEntry()
{
    // Looked up: Windows 7 has it only with an update, Vista and XP never.
    // Without it, at least the current folder leaves the search order.
    const auto lockSearch = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(kKernel32), kSetDefaultDllDirectories)));
    if (!lockSearch || !lockSearch(LOAD_LIBRARY_SEARCH_SYSTEM32))
        ::SetDllDirectoryW(L"");
    return CRT_ENTRY();
}
