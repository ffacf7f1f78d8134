// The product's data, parsed once at start-up from the JSON text embedded in
// the executable, with the distribution source that handed the installer out.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The embedded text is not a JSON object; the message names the reason.
class ConfigDataError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TConfigFile {
public:
    // CONFIGFILEDATA is the whole JSON text. In install mode the distribution
    // source is derived from the executable's name (storeSource keeps it for
    // the user); in uninstall mode it is read back. Throws ConfigDataError for
    // a text that is not a JSON object, and win::Win32Error when the registry
    // fails.
    TConfigFile(std::wstring_view configFileData, bool bInstallMode);

private:
    bool FbInstallMode;

public:
    std::wstring Title;
    std::wstring SoftId;
    std::wstring Version;
    std::wstring FromSource;
    std::wstring BigTitle;
    std::wstring Description;
    std::wstring ProgramDirName;
    std::wstring MainProgPath;
    std::wstring MainProg;
    std::wstring ShortcutName;
    std::wstring OpenWebsiteAfterInstall;
    std::wstring OpenWebsiteAfterUninstall;
    bool XPSupported = false;
    std::wstring ConfigPathForUinstall;
    std::wstring AfterInstBat1;
    std::wstring AfterInstBat2;
    bool DotNetCheck = false;
    std::wstring DotNetVerRequired;
    std::wstring ProductURL;
    std::wstring RegDllName;
    std::wstring ProtocalRootKeyName;
    std::wstring Protocalname;
    std::vector<std::wstring> AssociatedExts;
};

// Keeps the installer's distribution source in the product's per-user key,
// where the uninstaller reads it back. Throws win::Win32Error when the
// registry fails.
void storeSource(const TConfigFile& config);

// The distribution source carried by an installer's file name: the text after
// the first "_", without ".exe" and without browser copy suffixes "(1)" to
// "(3)"; the whole name when it has no "_".
std::wstring fileNameSource(std::wstring_view exeFileName);
