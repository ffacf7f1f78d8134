// Program entry. Today it loads and checks the embedded product configuration
// and decides the mode; the installer window builds on this.
#include "app/ConfigFile.h"
#include "system/AppContext.h"
#include "system/Encoding.h"
#include "system/util.h"

#include <windows.h>

#include <exception>

namespace {

constexpr wchar_t kConfigResource[] = L"configfile";
constexpr wchar_t kFileResourceType[] = L"file";
constexpr wchar_t kUninstallerName[] = L"unin.exe";
constexpr wchar_t kConfigEmpty[] = L"config data is empty";

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int)
{
    std::wstring text;
    if (!loadResourceText(kConfigResource, kFileResourceType, true, text) || text.empty()) {
        showInfo(kConfigEmpty);
        return 1;
    }
    const bool installMode = getExeFileName() != kUninstallerName;
    try {
        const TConfigFile config(text, installMode);
        setApplicationTitle(config.Title);
    } catch (const std::exception& e) {
        showInfo(win::fromUtf8(e.what()));
        return 1;
    }
    return 0;
}
