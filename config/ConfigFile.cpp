#include "config/ConfigFile.h"

#include "system/Encoding.h"
#include "system/RegValues.h"
#include "system/util.h"

#include <nlohmann/json.hpp>

#include <windows.h>

namespace {

constexpr char kInvalidConfig[] = "config data is invalid: ";
constexpr char kNotAnObject[] = "the text is not a JSON object";
constexpr wchar_t kSourceValue[] = L"source";
constexpr wchar_t kAppDataPlaceholder[] = L"%appdata%";
constexpr wchar_t kLocalAppDataPlaceholder[] = L"%localappdata%";
constexpr wchar_t kExeSuffix[] = L".exe";
constexpr const wchar_t* kCopySuffixes[] = {L"(1)", L"(2)", L"(3)"};

using Json = nlohmann::json;

// A text key: a string as it is, a number as its decimal text, anything else
// (missing included) as "".
std::wstring text(const Json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end())
        return {};
    if (it->is_string())
        return win::fromUtf8(it->get_ref<const std::string&>());
    if (it->is_number())
        return win::fromUtf8(it->dump());
    return {};
}

// A boolean key: false unless it holds true.
bool flag(const Json& object, const char* key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_boolean() && it->get<bool>();
}

Json parseObject(std::wstring_view data)
{
    Json object;
    try {
        object = Json::parse(win::toUtf8(data));
    } catch (const Json::exception& e) {
        throw ConfigDataError(std::string(kInvalidConfig) + e.what());
    }
    if (!object.is_object())
        throw ConfigDataError(std::string(kInvalidConfig) + kNotAnObject);
    return object;
}

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
    const Json json = parseObject(configFileData);

    SoftId = text(json, "SoftId");
    Title = text(json, "Title");
    Version = text(json, "Version");

    const std::wstring userKey = productUserKeyPath(SoftId);
    if (FbInstallMode) {
        FromSource = fileNameSource(getExeFileName()) + text(json, "FromSource");
        regWriteString(HKEY_CURRENT_USER, userKey, kSourceValue, FromSource);
    } else {
        FromSource = regReadString(HKEY_CURRENT_USER, userKey, kSourceValue);
    }

    BigTitle = text(json, "BigTitle");
    Description = text(json, "Description");
    MainProg = text(json, "MainProg");
    MainProgPath = text(json, "MainProgPath");
    ShortcutName = text(json, "ShortcutName");
    OpenWebsiteAfterInstall = text(json, "OpenWebsiteAfterInstall");
    OpenWebsiteAfterUninstall = text(json, "OpenWebsiteAfterUninstall");
    ProgramDirName = text(json, "ProgramDirName");
    XPSupported = flag(json, "XPSupported");
    RegDllName = text(json, "RegDllName");
    ProductURL = text(json, "ProductURL");
    AfterInstBat1 = text(json, "AfterInstBat1");
    AfterInstBat2 = text(json, "AfterInstBat2");
    DotNetCheck = flag(json, "DotNetCheck");
    DotNetVerRequired = text(json, "DotNetVerRequired");
    ConfigPathForUinstall = text(json, "ConfigPathForUinstall");
    if (!ConfigPathForUinstall.empty()) {
        ConfigPathForUinstall = replaceText(ConfigPathForUinstall, kAppDataPlaceholder, getAppDataDir(), false);
        ConfigPathForUinstall =
            replaceText(ConfigPathForUinstall, kLocalAppDataPlaceholder, getLocalAppDataDir(), false);
    }
    splitToList(AssociatedExts, text(json, "AssociatedExts"), L'|');
    ProtocalRootKeyName = text(json, "ProtocalRootKeyName");
    Protocalname = text(json, "Protocalname");
}
