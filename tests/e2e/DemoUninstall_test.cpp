// The installed demo product's uninstaller as a program of its own, run from
// the installation folder after a real automatic install and driven from
// outside through the mouse and key messages a user's input would send to
// its windows, against the reference vendor service.
#include "system/Encoding.h"
#include "system/MyCommonFuns.h"
#include "system/Process.h"
#include "system/Registry.h"
#include "tests/e2e/DemoRun.h"
#include "tests/support/Helper.h"
#include "tests/support/ShellFolderRedirect.h"
#include "tests/support/TempDir.h"
#include "ui/Picture.h"
#include "ui/PngImage.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace demo;

constexpr wchar_t kUninstaller[] = L"unin.exe";
constexpr wchar_t kMainClass[] = L"TFrmCommInst";
constexpr wchar_t kMainTitle[] = L"Velmora Notes";
constexpr wchar_t kOfferClass[] = L"TfrmBigCoupon";
constexpr wchar_t kOfferTitle[] = L"限时大优惠";
constexpr wchar_t kConfirmClass[] = L"TFrmConfirmbox";
constexpr wchar_t kEscape = 27;
constexpr char kUninstallReport[] = "/api/report/uninstall";
constexpr char kPayQr[] = "/api/notlogin-pay-qr";
constexpr char kCouponDetail[] = "/api/coupon-detail";
constexpr char kServedQr[] = "/files/qr.png";
// The plan the offer shows: the service's longest one.
constexpr char kOfferedPlan[] = "103";

// Client coordinates of what the tests click. Main window: the page control
// sits at 14, 262.
constexpr POINT kUninstallButton{14 + 189 + 87, 262 + 41 + 22};
// Low on the exit button: its middle is where the progress page has its bar.
constexpr POINT kExitButton{14 + 201 + 87, 262 + 48 + 33};
constexpr POINT kMainCloseButton{566 + 17, 16};
// Offer window: the pages sit below its 36-pixel top bar. Both pages have
// their continue link at the same place.
constexpr POINT kContinueLink{580 + 20, 36 + 659 + 10};
constexpr POINT kKeepProductButton{426 + 65, 36 + 647 + 19};
constexpr RECT kQrArea{206, 36 + 268, 206 + 172, 36 + 268 + 172};
// Confirmation box: "是".
constexpr POINT kYesButton{168 + 50, 137 + 15};

// The self-deleting script runs once the uninstaller has ended.
constexpr DWORD kSelfDeleteLimitMs = 40000;

bool isEmptyFolder(const fs::path& folder)
{
    std::error_code ec;
    return fs::is_directory(folder, ec) && fs::is_empty(folder, ec);
}

bool classesKeyExists(const wchar_t* name)
{
    win::RegKey key;
    return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, name, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

int countOf(const std::vector<std::string>& paths, const std::string& path)
{
    return static_cast<int>(std::count(paths.begin(), paths.end(), path));
}

class ScreenDc {
public:
    ScreenDc() : dc_(::GetDC(nullptr)) {}
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    ~ScreenDc() { ::ReleaseDC(nullptr, dc_); }
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

bool isDark(std::uint32_t argb)
{
    // Premultiplied pixels over the white page: add the uncovered white.
    const int uncovered = 255 - static_cast<int>(argb >> 24);
    const int r = static_cast<int>((argb >> 16) & 0xFF) + uncovered;
    const int g = static_cast<int>((argb >> 8) & 0xFF) + uncovered;
    const int b = static_cast<int>(argb & 0xFF) + uncovered;
    return r + g + b < 3 * 128;
}

// The share of the QR area's pixels on screen that are dark exactly where the
// service's payment code picture is dark (the placeholder has no dark pixel).
double shareLikeServedCode(HWND offer)
{
    TPicture code;
    if (!loadPngFile(code, L"Z:" + std::wstring(DEMO_SERVICE_DIR_W) + L"\\qr.png"))
        return 0;
    const int width = kQrArea.right - kQrArea.left, height = kQrArea.bottom - kQrArea.top;
    if (code.width() != width || code.height() != height)
        return 0;
    POINT origin{kQrArea.left, kQrArea.top};
    ::ClientToScreen(offer, &origin);
    TDibSurface shot(width, height);
    const ScreenDc screen;
    ::BitBlt(shot.dc(), 0, 0, width, height, screen.get(), origin.x, origin.y, SRCCOPY);
    int alike = 0;
    for (int i = 0; i < width * height; ++i)
        alike += isDark(shot.bits()[i] | 0xFF000000u) == isDark(code.pixels()[i]) ? 1 : 0;
    return static_cast<double>(alike) / (width * height);
}

class DemoUninstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        removeTraces();
        fs::create_directories(home_ / L"desktop");
        fs::create_directories(home_ / L"programs");
        service_ = startService();
        if (!service_)
            GTEST_SKIP() << "port " << kServicePort << " is taken";

        const fs::path setup = home_ / L"setup.exe";
        ASSERT_TRUE(copyFileOverwrite(getExeDir() + L"setup.exe", setup.wstring()));
        const RunResult install = runAnsweringBoxes(setup, L"/autoinst");
        ASSERT_EQ(install.exitCode, 0u);
        ASSERT_TRUE(install.boxes.empty());
        ASSERT_EQ(waitForStarts(1), 1);
    }
    void TearDown() override
    {
        endStartedProduct();
        removeTraces();
    }

    // Starts the uninstaller PROGRAM and waits for its main window.
    HWND startUninstaller(const fs::path& program)
    {
        run_ = std::make_unique<StartedProgram>(program, L"");
        EXPECT_TRUE(run_->started());
        return run_->started() ? waitForWindowOf(run_->pid(), kMainClass, kMainTitle) : nullptr;
    }

    HWND openOffer(HWND main)
    {
        postClick(main, kUninstallButton.x, kUninstallButton.y);
        return waitForWindowOf(run_->pid(), kOfferClass, kOfferTitle);
    }

    // Waits for the confirmation box and answers "是".
    bool confirm()
    {
        HWND box = waitForWindowOf(run_->pid(), kConfirmClass, L"");
        if (!box)
            return false;
        postClick(box, kYesButton.x, kYesButton.y);
        return waitUntilGone(box);
    }

    // Declines the offer, confirmed, and waits for the second page to be
    // shown (it makes no window of its own: the confirmation's end tells).
    bool declineOffer(HWND offer)
    {
        postClick(offer, kContinueLink.x, kContinueLink.y);
        return confirm();
    }

    // Presses the finished page's exit button once the removal has shown it
    // (a click before lands on the progress page and does nothing) and
    // returns the uninstaller's exit code.
    DWORD exitAfterRemoval(HWND main)
    {
        for (DWORD waited = 0; waited < kRunLimitMs && !run_->hasEnded(200); waited += 200)
            postClick(main, kExitButton.x, kExitButton.y);
        return run_->waitForExit(0);
    }

    // Goes through the offer's two pages to the removal, both times
    // confirmed, and ends the uninstaller with the exit button.
    DWORD removeThroughOffer(HWND main, HWND offer)
    {
        if (!declineOffer(offer))
            return kStoppedByTest;
        postClick(offer, kContinueLink.x, kContinueLink.y);
        if (!confirm() || !waitUntilGone(offer))
            return kStoppedByTest;
        return exitAfterRemoval(main);
    }

    // Waits for the uninstaller FILE to delete itself: it leaves its place at
    // once, and a script deletes it once its process has ended.
    static bool fileGone(const fs::path& file)
    {
        for (DWORD waited = 0; waited < kSelfDeleteLimitMs && fs::exists(file); waited += 100)
            ::Sleep(100);
        return !fs::exists(file);
    }
    static bool uninstallerDeletedItself() { return fileGone(installDir() / kUninstaller); }

    void expectStillInstalled()
    {
        EXPECT_TRUE(fs::exists(installDir() / kProgram));
        EXPECT_TRUE(fs::exists(installDir() / kUninstaller));
        EXPECT_TRUE(fs::exists(home_ / L"desktop" / kShortcut));
        EXPECT_TRUE(fs::exists(home_ / L"programs" / kProductDir / kShortcut));
        EXPECT_EQ(readInstalledVersion(kSoftId), L"2.0.1.0");
        EXPECT_TRUE(fs::exists(startRecord()));
    }

    TempDir home_;
    ShellFolderRedirect desktop_{L"Desktop", (home_ / L"desktop").wstring()};
    ShellFolderRedirect programs_{L"Programs", (home_ / L"programs").wstring()};
    std::unique_ptr<vendor::VendorService> service_;
    std::unique_ptr<StartedProgram> run_;
};

TEST_F(DemoUninstallTest, EveryWayOutOfTheOfferButTheConfirmedRemovalKeepsTheProduct)
{
    // Esc on the offer: the uninstall page stays, and its button opens the
    // offer again.
    HWND main = startUninstaller(installDir() / kUninstaller);
    ASSERT_NE(main, nullptr);
    HWND offer = openOffer(main);
    ASSERT_NE(offer, nullptr);
    ::PostMessageW(offer, WM_CHAR, kEscape, 0);
    ASSERT_TRUE(waitUntilGone(offer));
    offer = openOffer(main);
    ASSERT_NE(offer, nullptr) << "the uninstall page is still on screen";
    ::PostMessageW(offer, WM_CHAR, kEscape, 0);
    ASSERT_TRUE(waitUntilGone(offer));
    postClick(main, kMainCloseButton.x, kMainCloseButton.y);
    ASSERT_TRUE(confirm());
    EXPECT_EQ(run_->waitForExit(kRunLimitMs), 0u);
    expectStillInstalled();

    // The finish button of the second page: the product starts again and the
    // uninstaller ends without removing anything.
    main = startUninstaller(installDir() / kUninstaller);
    ASSERT_NE(main, nullptr);
    offer = openOffer(main);
    ASSERT_NE(offer, nullptr);
    ASSERT_TRUE(declineOffer(offer));
    postClick(offer, kKeepProductButton.x, kKeepProductButton.y);
    ASSERT_TRUE(confirm());
    EXPECT_EQ(run_->waitForExit(kRunLimitMs), 0u);
    EXPECT_EQ(waitForStarts(2), 2) << "the product was started again";
    expectStillInstalled();

    EXPECT_EQ(countOf(productRequests(*service_), kUninstallReport), 0);
}

TEST_F(DemoUninstallTest, ConfirmedRemovalLeavesOnlyWhatTheUserKeeps)
{
    const std::wstring guid = regReadString(HKEY_CURRENT_USER, L"SOFTWARE\\velnotes_win", L"guid");
    const std::wstring source = regReadString(HKEY_CURRENT_USER, L"SOFTWARE\\velnotes_win", L"source");
    ASSERT_FALSE(guid.empty());

    // The product the install started is left running: the uninstaller has
    // to stop it.
    HWND main = startUninstaller(installDir() / kUninstaller);
    ASSERT_NE(main, nullptr);
    HWND offer = openOffer(main);
    ASSERT_NE(offer, nullptr);

    // The offer shows the payment code the service made for the coupon and
    // the plan it offered.
    double alike = 0;
    waitUntil([&] { return (alike = shareLikeServedCode(offer)) >= 0.95; });
    EXPECT_GE(alike, 0.95) << "the QR area shows the served payment code";
    std::string couponCode;
    int qrRequests = 0;
    for (const auto& request : service_->requests()) {
        if (request.path == kCouponDetail)
            couponCode = request.query.at("code");
        if (request.path == kPayQr) {
            ++qrRequests;
            EXPECT_EQ(request.query.at("goods_id"), kOfferedPlan);
            EXPECT_EQ(request.query.at("coupon_code"), couponCode);
            EXPECT_EQ(request.query.at("device_code"), win::toUtf8(guid));
        }
    }
    EXPECT_FALSE(couponCode.empty());
    EXPECT_EQ(qrRequests, 1);
    const auto offerRequests = productRequests(*service_);
    EXPECT_EQ(countOf(offerRequests, "/api/price_plan"), 1);
    EXPECT_EQ(countOf(offerRequests, kServedQr), 1);

    EXPECT_EQ(removeThroughOffer(main, offer), 0u);

    std::vector<std::string> reports;
    for (const auto& request : service_->requests())
        if (request.path == kUninstallReport)
            reports.push_back(request.rawQuery);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("curr_ver=2.0.1.0&"), std::string::npos) << reports[0];
    // The source the install stored, not the uninstaller's file name.
    EXPECT_NE(reports[0].find("&source=" + win::toUtf8(source) + "&"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("device_code=" + win::toUtf8(guid)), std::string::npos) << reports[0];

    EXPECT_FALSE(entryExists());
    EXPECT_FALSE(findProcessByName(kProgram)) << "the running product was stopped";
    EXPECT_FALSE(fs::exists(home_ / L"desktop" / kShortcut));
    EXPECT_FALSE(fs::exists(home_ / L"programs" / kProductDir / kShortcut));
    EXPECT_TRUE(fs::is_directory(home_ / L"programs" / kProductDir));
    EXPECT_TRUE(isEmptyFolder(dataDir()));
    EXPECT_TRUE(uninstallerDeletedItself());
    EXPECT_TRUE(!fs::exists(installDir()) || isEmptyFolder(installDir()));
    EXPECT_EQ(regReadString(HKEY_CURRENT_USER, L"SOFTWARE\\velnotes_win", L"guid"), guid);
    EXPECT_EQ(regReadString(HKEY_CURRENT_USER, L"SOFTWARE\\velnotes_win", L"source"), source);
    EXPECT_TRUE(classesKeyExists(L".vnote"));
    EXPECT_TRUE(classesKeyExists(L"velnotes"));

    EXPECT_FALSE(fs::exists(registeredUninstaller().parent_path())) << "the entry's copy goes with the entry";
}

} // namespace

namespace {

// Every visible window of process PID, by title, seen while it runs.
std::vector<std::wstring> windowsWhileRunning(StartedProgram& program)
{
    std::vector<std::wstring> seen;
    for (DWORD waited = 0; waited < kRunLimitMs && !program.hasEnded(50); waited += 50)
        if (HWND window = findWindowOf(program.pid(), L"", L"")) {
            wchar_t title[256] = {};
            ::GetWindowTextW(window, title, 256);
            seen.emplace_back(title);
        }
    return seen;
}

} // namespace

TEST_F(DemoUninstallTest, SilentUninstallAsTheEntryNamesItRemovesTheProductWithoutAWindow)
{
    // The values that the system's list of programs and package managers read.
    const fs::path uninstaller = registeredUninstaller();
    const std::wstring quiet = entryValue(L"QuietUninstallString");
    EXPECT_EQ(quiet, L"\"" + uninstaller.wstring() + L"\" /autouninst");
    EXPECT_EQ(entryValue(L"InstallLocation"), installDir().wstring());
    SYSTEMTIME today{};
    ::GetLocalTime(&today);
    wchar_t date[16] = {};
    std::swprintf(date, 16, L"%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    EXPECT_EQ(entryValue(L"InstallDate"), date);
    DWORD sizeKB = 0, noModify = 0, noRepair = 0;
    uint64_t extracted = 0;
    // The demo package is packed from this folder.
    const fs::path packed = fs::path(L"Z:" + std::wstring(DEMO_SERVICE_DIR_W)).parent_path() / L"package";
    for (const auto& entry : fs::recursive_directory_iterator(packed))
        if (entry.is_regular_file())
            extracted += entry.file_size();
    EXPECT_TRUE(entryDword(L"EstimatedSize", sizeKB));
    EXPECT_EQ(sizeKB, (extracted + 1023) / 1024) << "the package's files";
    EXPECT_TRUE(entryDword(L"NoModify", noModify) && noModify == 1);
    EXPECT_TRUE(entryDword(L"NoRepair", noRepair) && noRepair == 1);

    // A copy of the uninstaller started from any other folder removes nothing.
    const fs::path log = home_ / L"uninstall.log";
    const fs::path stray = home_ / L"stray" / kUninstaller;
    fs::create_directories(stray.parent_path());
    ASSERT_TRUE(copyFileOverwrite(uninstaller.wstring(), stray.wstring()));
    run_ = std::make_unique<StartedProgram>(stray, L"/autouninst \"/log=" + log.wstring() + L"\"");
    ASSERT_TRUE(run_->started());
    EXPECT_EQ(run_->waitForExit(kRunLimitMs), 4u);
    EXPECT_TRUE(fs::exists(stray));
    expectStillInstalled();
    EXPECT_NE(readFile(log).find("uninstall refused: the uninstaller runs from "), std::string::npos) << readFile(log);

    // Started the way a package manager starts it, the product still running.
    run_ = std::make_unique<StartedProgram>(uninstaller, L"/autouninst \"/log=" + log.wstring() + L"\"");
    ASSERT_TRUE(run_->started());
    EXPECT_EQ(windowsWhileRunning(*run_), std::vector<std::wstring>{}) << "no window, no offer, no box";
    EXPECT_EQ(run_->waitForExit(0), 0u);

    EXPECT_FALSE(entryExists());
    EXPECT_TRUE(fileGone(uninstaller)) << "the entry's copy deletes itself";
    EXPECT_FALSE(fs::exists(installDir() / kUninstaller)) << "the product's copy goes with the product";
    EXPECT_FALSE(findProcessByName(kProgram)) << "the running product was stopped";
    EXPECT_FALSE(fs::exists(home_ / L"desktop" / kShortcut));
    EXPECT_FALSE(fs::exists(home_ / L"programs" / kProductDir / kShortcut));
    EXPECT_TRUE(isEmptyFolder(dataDir()));
    const auto requests = productRequests(*service_);
    EXPECT_EQ(countOf(requests, kUninstallReport), 1);
    EXPECT_EQ(countOf(requests, "/api/price_plan"), 0) << "no offer";
    const std::string text = readFile(log);
    for (const char* line : {"uninstall mode, silent uninstall", "/api/report/uninstall?<hidden> -> 200",
                             "outcome: not the folder the uninstall entry names", "outcome: removed\r\n", "exit code: 0"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " is not in:\n" << text;
}
