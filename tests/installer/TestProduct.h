// The product embedded into the main window's tests and test installers
// (tests/installer/data/product/config.json), the traces its start-up
// leaves (the default folder and the per-user key), and its package served
// by a loopback vendor service.
#pragma once

#include "net/api.h"
#include "system/MyCommonFuns.h"
#include "system/Registration.h"
#include "system/util.h"
#include "tests/support/Helper.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ShellFolderRedirect.h"
#include "tests/support/TempDir.h"
#include "tests/support/ZipMaker.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace testproduct {

inline constexpr wchar_t kSoftId[] = L"mainwin_test_win";
inline constexpr wchar_t kTitle[] = L"Mainwin Test Title";
inline constexpr wchar_t kVersion[] = L"9.8.7.6";
inline constexpr wchar_t kBigTitle[] = L"Mainwin Big Title";
inline constexpr wchar_t kDescription[] = L"A product made up for the main window's tests.";
inline constexpr wchar_t kMainProg[] = L"MainwinVictim.exe";
inline constexpr wchar_t kProgramDirName[] = L"Mainwin Test Product";

inline std::wstring defaultDir() { return getLocalAppDataDir() + L"\\" + kProgramDirName; }

// Removes the default folder and the per-user key; before and after a test.
inline void removeTraces()
{
    std::error_code ignored;
    std::filesystem::remove_all(defaultDir(), ignored);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"SOFTWARE\\") + kSoftId).c_str());
}

// A test of the product's start-up, with or without its window: no traces
// before or after, and the program's client talking to a loopback service
// that takes the pre-install report.
class ProductStartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        removeTraces();
        server_.onJson("/api/report/preinstall", R"({"code":0})");
        setProcessAPIOrigins(server_.worigin(), server_.worigin());
    }
    void TearDown() override
    {
        destroyProcessAPI();
        setProcessAPIOrigins(L"", L"");
        removeTraces();
    }

    LoopbackServer server_;
};

// A temporary folder whose "desktop" and "programs" stand in for the user's
// while it lives; when it goes, so does what an install of the test product
// left outside it.
class TestHome {
public:
    TestHome()
    {
        std::filesystem::create_directories(dir_ / L"desktop");
        std::filesystem::create_directories(dir_ / L"programs");
    }
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;
    ~TestHome()
    {
        // The started product may still be ending; its file goes once it has.
        for (int i = 0; i < 100 && findProcessByName(kMainProg); ++i)
            ::Sleep(50);
        deleteUninstallEntry(kSoftId);
        std::error_code ignored;
        std::filesystem::remove_all(uninstallerFolder(kSoftId), ignored);
    }

    const std::filesystem::path& path() const { return dir_.path(); }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return dir_.path() / name; }

private:
    TempDir dir_;
    ShellFolderRedirect desktop_{L"Desktop", (dir_ / L"desktop").wstring()};
    ShellFolderRedirect programs_{L"Programs", (dir_ / L"programs").wstring()};
};

inline std::string readBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The download information naming URL as the package and FRAMEWORK as the
// framework installer, with the version 3.1.4.
inline std::string softDownAnswer(const std::string& url, const std::string& framework = "")
{
    return R"({"code":0,"msg":"","data":{"url":")" + url + R"(","ver":"3.1.4","framework_url":")" + framework +
           R"("}})";
}

// SERVER hands out a package (made in FOLDER) as "/pkg.zip": the product's
// program (the mark helper, which leaves a mark beside itself when started),
// a file in a folder, and EXTRA before them.
inline void servePackage(LoopbackServer& server, const std::filesystem::path& folder,
                         std::vector<ZipMakerEntry> extra = {})
{
    const std::filesystem::path zip = folder / L"package.zip";
    extra.push_back({"MainwinVictim.exe", readBytes(markHelperPath()), ZipCipher::aes256});
    extra.push_back({"docs/readme.txt", "read me", ZipCipher::aes256});
    makeZip(zip, extra);
    const std::string package = readBytes(zip);
    server.on("/pkg.zip", [package](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.contentType = "application/zip";
        reply.body = package;
        return reply;
    });
    server.onJson("/api/config/soft_down", softDownAnswer(server.origin() + "/pkg.zip"));
}

} // namespace testproduct
