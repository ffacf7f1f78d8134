#include "config/ConfigFile.h"

#include "system/Encoding.h"
#include "system/Registry.h"
#include "system/util.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// Each test uses its own product id and removes its per-user key.
class ConfigFileTest : public ::testing::Test {
protected:
    const std::wstring softId = L"cfgtest_" + newCompactGuid();

    ~ConfigFileTest() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, productUserKeyPath(softId).c_str()); }

    std::wstring json(const std::wstring& members) const
    {
        return L"{\r\n\"SoftId\": \"" + softId + L"\"" + (members.empty() ? L"" : L",\r\n" + members) + L"\r\n}\r\n";
    }
    std::wstring storedSource() const
    {
        return regReadString(HKEY_CURRENT_USER, productUserKeyPath(softId), L"source");
    }
};

} // namespace

TEST_F(ConfigFileTest, ReadsEveryKey)
{
    const TConfigFile config(json(LR"("Title": "Velmora Notes", "Version": "2.0.0.3", "FromSource": "_ad",
        "BigTitle": "Big", "Description": "Slogan \u4e2d\u6587", "MainProg": "Notes.exe", "MainProgPath": "\\bin\\",
        "ShortcutName": "Notes", "OpenWebsiteAfterInstall": "http://x/t.php?act=tutorial&ver=[Version]",
        "OpenWebsiteAfterUninstall": "http://x/bye", "ProgramDirName": "Velmora", "XPSupported": true,
        "RegDllName": "ext.dll", "ProductURL": "http://x/home", "AfterInstBat1": "a.bat", "AfterInstBat2": "b.cmd",
        "DotNetCheck": true, "DotNetVerRequired": "4.5", "ConfigPathForUinstall": "C:\\data",
        "AssociatedExts": "*.pdf|*.ofd", "ProtocalRootKeyName": "velnotes", "Protocalname": "URL:Velmora",
        "NetID": true)"),
                             true);
    EXPECT_EQ(config.SoftId, softId);
    EXPECT_EQ(config.Title, L"Velmora Notes");
    EXPECT_EQ(config.Version, L"2.0.0.3");
    EXPECT_EQ(config.FromSource, fileNameSource(getExeFileName()) + L"_ad");
    EXPECT_EQ(config.BigTitle, L"Big");
    EXPECT_EQ(config.Description, L"Slogan \u4e2d\u6587");
    EXPECT_EQ(config.MainProg, L"Notes.exe");
    EXPECT_EQ(config.MainProgPath, L"\\bin\\");
    EXPECT_EQ(config.ShortcutName, L"Notes");
    EXPECT_EQ(config.OpenWebsiteAfterInstall, L"http://x/t.php?act=tutorial&ver=[Version]");
    EXPECT_EQ(config.OpenWebsiteAfterUninstall, L"http://x/bye");
    EXPECT_EQ(config.ProgramDirName, L"Velmora");
    EXPECT_TRUE(config.XPSupported);
    EXPECT_EQ(config.RegDllName, L"ext.dll");
    EXPECT_EQ(config.ProductURL, L"http://x/home");
    EXPECT_EQ(config.AfterInstBat1, L"a.bat");
    EXPECT_EQ(config.AfterInstBat2, L"b.cmd");
    EXPECT_TRUE(config.DotNetCheck);
    EXPECT_EQ(config.DotNetVerRequired, L"4.5");
    EXPECT_EQ(config.ConfigPathForUinstall, L"C:\\data");
    EXPECT_EQ(config.AssociatedExts, (std::vector<std::wstring>{L".pdf", L".ofd"}));
    EXPECT_EQ(config.ProtocalRootKeyName, L"velnotes");
    EXPECT_EQ(config.Protocalname, L"URL:Velmora");
}

TEST_F(ConfigFileTest, MissingAndMistypedKeys)
{
    const TConfigFile config(json(LR"("Version": 3, "DotNetVerRequired": 4.5, "Title": null, "MainProg": ["x"],
        "XPSupported": "true", "AssociatedExts": "")"),
                             false);
    EXPECT_EQ(config.Version, L"3");
    EXPECT_EQ(config.DotNetVerRequired, L"4.5");
    EXPECT_EQ(config.Title, L"");
    EXPECT_EQ(config.MainProg, L"");
    EXPECT_EQ(config.Description, L"");
    EXPECT_FALSE(config.XPSupported);
    EXPECT_FALSE(config.DotNetCheck);
    EXPECT_TRUE(config.AssociatedExts.empty());
    EXPECT_EQ(config.ConfigPathForUinstall, L"");
}

TEST_F(ConfigFileTest, InvalidTextIsRefusedWithItsReason)
{
    const std::wstring deep = L"{\"a\":" + std::wstring(100000, L'[') + std::wstring(100000, L']') + L"}";
    for (const std::wstring& text : {std::wstring(L"{\"SoftId\": "), std::wstring(L"not json"),
                                     std::wstring(L"[1, 2]"), std::wstring(L"\"text\""), std::wstring(), deep}) {
        try {
            TConfigFile config(text, true);
            ADD_FAILURE() << "accepted: " << win::toUtf8(text.substr(0, 20));
        } catch (const ConfigDataError& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind("config data is invalid: ", 0), 0u) << message;
            EXPECT_GT(message.size(), std::string("config data is invalid: ").size());
        }
    }
}

TEST_F(ConfigFileTest, InstallModeStoresTheSourceOnlyWhenToldAndUninstallModeReadsItBack)
{
    {
        const TConfigFile uninstaller(json(LR"("FromSource": "_x")"), false);
        EXPECT_EQ(uninstaller.FromSource, L"");
    }
    const TConfigFile installer(json(LR"("FromSource": "_ad")"), true);
    EXPECT_EQ(storedSource(), L"") << "reading the configuration writes nothing";
    storeSource(installer);
    EXPECT_EQ(storedSource(), installer.FromSource);

    const TConfigFile uninstaller(json(LR"("FromSource": "_other")"), false);
    EXPECT_EQ(uninstaller.FromSource, installer.FromSource);
}

TEST_F(ConfigFileTest, DataFolderPlaceholdersExpandInAnyLetterCase)
{
    const TConfigFile lower(json(LR"("ConfigPathForUinstall": "%appdata%\\Velmora")"), false);
    const TConfigFile upper(json(LR"("ConfigPathForUinstall": "%APPDATA%\\Velmora")"), false);
    const TConfigFile local(json(LR"("ConfigPathForUinstall": "%LocalAppData%\\Velmora")"), false);
    EXPECT_EQ(lower.ConfigPathForUinstall, getAppDataDir() + L"\\Velmora");
    EXPECT_EQ(upper.ConfigPathForUinstall, lower.ConfigPathForUinstall);
    EXPECT_EQ(local.ConfigPathForUinstall, getLocalAppDataDir() + L"\\Velmora");
}

TEST_F(ConfigFileTest, ExtensionListKeepsAnEmptyLastEntry)
{
    const TConfigFile one(json(LR"("AssociatedExts": ".pdf")"), false);
    const TConfigFile trailing(json(LR"("AssociatedExts": "*.pdf|")"), false);
    EXPECT_EQ(one.AssociatedExts, (std::vector<std::wstring>{L".pdf"}));
    EXPECT_EQ(trailing.AssociatedExts, (std::vector<std::wstring>{L".pdf", L""}));
}

TEST(FileNameSource, FromTheInstallersFileName)
{
    EXPECT_EQ(fileNameSource(L"setup_abc.exe"), L"abc");
    EXPECT_EQ(fileNameSource(L"setup_abc (1).exe"), L"abc ");
    EXPECT_EQ(fileNameSource(L"setup_abc(2)(3).exe"), L"abc");
    EXPECT_EQ(fileNameSource(L"setup_a_b.EXE"), L"a_b");
    EXPECT_EQ(fileNameSource(L"setup.exe"), L"setup.exe");
    EXPECT_EQ(fileNameSource(L"a_b.exe") + L"_ad", L"b_ad");
    EXPECT_EQ(fileNameSource(L"setup_ab"), L"ab");
}
