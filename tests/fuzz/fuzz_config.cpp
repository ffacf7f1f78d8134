// The configuration text read as the program reads it, key by key.
#include "config/ConfigFile.h"
#include "config/ConfigJson.h"
#include "system/Encoding.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr const char* kTextKeys[] = {"SoftId", "Title", "Version", "FromSource", "BigTitle", "Description",
                                     "MainProg", "MainProgPath", "ShortcutName", "OpenWebsiteAfterInstall",
                                     "OpenWebsiteAfterUninstall", "ProgramDirName", "RegDllName", "ProductURL",
                                     "AfterInstBat1", "AfterInstBat2", "DotNetVerRequired", "ConfigPathForUinstall",
                                     "AssociatedExts", "ProtocalRootKeyName", "Protocalname"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::wstring text = win::fromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        const nlohmann::json config = parseConfigObject(text);
        for (const char* key : kTextKeys)
            configText(config, key);
        configFlag(config, "XPSupported");
        configFlag(config, "DotNetCheck");
    } catch (const ConfigDataError&) {
    }
    return 0;
}
