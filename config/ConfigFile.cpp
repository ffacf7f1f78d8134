#include "config/ConfigFile.h"

#include "config/ConfigJson.h"
#include "system/Registry.h"
#include "system/util.h"

#include <windows.h>

namespace {

constexpr wchar_t kSourceValue[] = L"source";
constexpr wchar_t kAppDataPlaceholder[] = L"%appdata%";
constexpr wchar_t kLocalAppDataPlaceholder[] = L"%localappdata%";
constexpr wchar_t kExeSuffix[] = L".exe";
constexpr const wchar_t* kCopySuffixes[] = {L"(1)", L"(2)", L"(3)"};

} // namespace

std::wstring fileNameSource(std::wstring_view exeFileName)
{
    if (!containsText(L"_", exeFileName))
        return std::wstring(exeFileName);
    std::wstring before, source;
    splitAtFirst(exeFileName, L'_', before, source);
    if (source.size() >= 4 && ::lstrcmpiW(source.c_str() + source.size() - 4, kExeSuffix) == 0)
        source = dropLast(source, 4);
    for (const wchar_t* suffix : kCopySuffixes)
        source = replaceText(source, suffix, L"", false);
    return source;
}

TConfigFile::TConfigFile(std::wstring_view configFileData, bool bInstallMode) : FbInstallMode(bInstallMode)
{
    const nlohmann::json json = parseConfigObject(configFileData);

    SoftId = configText(json, "SoftId");
    Title = configText(json, "Title");
    Version = configText(json, "Version");

    if (FbInstallMode)
        FromSource = fileNameSource(getExeFileName()) + configText(json, "FromSource");
    else
        FromSource = regReadString(HKEY_CURRENT_USER, productUserKeyPath(SoftId), kSourceValue);

    BigTitle = configText(json, "BigTitle");
    Description = configText(json, "Description");
    MainProg = configText(json, "MainProg");
    MainProgPath = configText(json, "MainProgPath");
    ShortcutName = configText(json, "ShortcutName");
    OpenWebsiteAfterInstall = configText(json, "OpenWebsiteAfterInstall");
    OpenWebsiteAfterUninstall = configText(json, "OpenWebsiteAfterUninstall");
    ProgramDirName = configText(json, "ProgramDirName");
    XPSupported = configFlag(json, "XPSupported");
    RegDllName = configText(json, "RegDllName");
    ProductURL = configText(json, "ProductURL");
    AfterInstBat1 = configText(json, "AfterInstBat1");
    AfterInstBat2 = configText(json, "AfterInstBat2");
    DotNetCheck = configFlag(json, "DotNetCheck");
    DotNetVerRequired = configText(json, "DotNetVerRequired");
    ConfigPathForUinstall = configText(json, "ConfigPathForUinstall");
    if (!ConfigPathForUinstall.empty()) {
        ConfigPathForUinstall = replaceText(ConfigPathForUinstall, kAppDataPlaceholder, getAppDataDir(), false);
        ConfigPathForUinstall =
            replaceText(ConfigPathForUinstall, kLocalAppDataPlaceholder, getLocalAppDataDir(), false);
    }
    splitToList(AssociatedExts, configText(json, "AssociatedExts"), L'|');
    ProtocalRootKeyName = configText(json, "ProtocalRootKeyName");
    Protocalname = configText(json, "Protocalname");
}

void storeSource(const TConfigFile& config)
{
    regWriteString(HKEY_CURRENT_USER, productUserKeyPath(config.SoftId), kSourceValue, config.FromSource);
}
