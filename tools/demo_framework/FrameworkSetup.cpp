// The reference service's stand-in for the framework installer: it installs
// nothing, it only records in the temporary folder that it was started, so
// that tests and demos can see the installer handed over to it.
#include "system/Encoding.h"
#include "system/Handles.h"
#include "system/util.h"

#include <windows.h>

namespace {

constexpr wchar_t kRecordFile[] = L"demo-framework-setup.log";

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int)
{
    const std::string line = win::toUtf8(std::wstring(::GetCommandLineW()) + L"\r\n");
    const win::FileHandle file(::CreateFileW((getTempDir() + kRecordFile).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file)
        ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return 0;
}
