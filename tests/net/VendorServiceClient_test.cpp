// The client and the download worker against the reference vendor service,
// which the demo and the end-to-end runs use.
#include "net/UDownThread.h"
#include "net/api.h"

#include "system/Encoding.h"
#include "system/Registry.h"
#include "system/util.h"
#include "tests/support/TempDir.h"
#include "vendor_service/VendorService.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr wchar_t kSoftId[] = L"velnotes_win";
constexpr char kPackagePath[] = "/files/package.zip";

// What a download through the worker came to, and what its byte tap saw.
struct Fetched {
    int64_t code = 0;
    std::vector<int64_t> counts;
    // The tap's bytes since it last saw a piece at offset 0.
    std::string tapped;
    int startsOver = 0;
    bool inOrder = true;
};

// Downloads URL into FILE, handling this thread's messages until the finish
// notification; FIRSTPIECE runs on the worker at the body's first piece.
Fetched fetch(const std::wstring& url, const std::filesystem::path& file, const std::function<void()>& firstPiece = {})
{
    Fetched fetched;
    bool finished = false;
    TDownloadLimits limits = kDownloadLimits;
    limits.firstPause = 10ms;
    StartDownload(
        url, file.wstring(), nullptr, [&](TDownThread*, int64_t count) { fetched.counts.push_back(count); },
        [&](TDownThread*, int64_t code) {
            fetched.code = code;
            finished = true;
        },
        limits,
        [&](uint64_t offset, const char* data, size_t size) {
            if (offset == 0 && !fetched.tapped.empty()) {
                ++fetched.startsOver;
                fetched.tapped.clear();
            }
            if (fetched.tapped.empty() && fetched.startsOver == 0 && firstPiece)
                firstPiece();
            fetched.inOrder &= offset == fetched.tapped.size();
            fetched.tapped.append(data, size);
        });
    const ULONGLONG deadline = ::GetTickCount64() + 60000;
    while (!finished && ::GetTickCount64() < deadline) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }
    return fetched;
}

std::string someBytes(size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + seed) >> 3);
    return bytes;
}

// The reference service serving PACKAGE, each answer cut as FAULT says.
class ResumedDownload : public ::testing::Test {
protected:
    void serve(const std::string& package, const std::string& fault, bool ranges = true)
    {
        writeFile(content_ / L"package.zip", package);
        vendor::Options options;
        options.contentDir = content_.path();
        options.ranges = ranges;
        service_ = std::make_unique<vendor::VendorService>(options);
        ASSERT_TRUE(service_->start());
        vendor::Fault drop;
        ASSERT_TRUE(vendor::Fault::parse(fault, drop));
        service_->setFault(kPackagePath, drop);
    }
    std::wstring url() const { return win::fromUtf8(service_->baseUrl() + kPackagePath); }
    std::vector<std::string> ranges() const
    {
        std::vector<std::string> asked;
        for (const auto& request : service_->requests())
            asked.push_back(request.range);
        return asked;
    }

    TempDir content_;
    std::unique_ptr<vendor::VendorService> service_;
};

TEST_F(ResumedDownload, BrokenTransfersResumeWhereTheyBrokeThreeTimesAtMost)
{
    const std::string package = someBytes(3 * 1024 * 1024 + 5, 1);
    serve(package, "drop:1048576");
    const Fetched fetched = fetch(url(), content_ / L"dl\\package.zip");
    EXPECT_EQ(fetched.code, 206);
    EXPECT_TRUE(readFile(content_ / L"dl\\package.zip") == package);
    EXPECT_EQ(ranges(), (std::vector<std::string>{"", "bytes=1048576-", "bytes=2097152-", "bytes=3145728-"}));
    EXPECT_EQ(fetched.startsOver, 0);
    EXPECT_TRUE(fetched.inOrder);
    EXPECT_TRUE(fetched.tapped == package);
    EXPECT_TRUE(std::is_sorted(fetched.counts.begin(), fetched.counts.end()));
    EXPECT_EQ(fetched.counts.back(), static_cast<int64_t>(package.size()));

    // A fifth piece would take a fourth resumption.
    serve(package, "drop:700000");
    EXPECT_EQ(fetch(url(), content_ / L"dl\\again.zip").code, -2);
    EXPECT_EQ(ranges().size(), 4u);
}

TEST_F(ResumedDownload, ServerIgnoringRangesOrAChangedFileStartsTheDownloadOver)
{
    const std::string package = someBytes(2 * 1024 * 1024, 2);
    serve(package, "drop:1500000:1", false);
    Fetched fetched = fetch(url(), content_ / L"dl\\package.zip");
    EXPECT_EQ(fetched.code, 200);
    EXPECT_TRUE(readFile(content_ / L"dl\\package.zip") == package);
    EXPECT_EQ(ranges(), (std::vector<std::string>{"", "bytes=1500000-"}));
    EXPECT_EQ(fetched.startsOver, 1);
    EXPECT_TRUE(fetched.inOrder);
    EXPECT_TRUE(fetched.tapped == package) << "the tap sees the new start's bytes only";
    EXPECT_TRUE(std::is_sorted(fetched.counts.begin(), fetched.counts.end())) << "the bar never goes back";

    // The file is touched while the first answer is on its way (its time is
    // part of the validator): the resumption gets the file whole.
    serve(package, "drop:1500000:1");
    const std::filesystem::path served = content_ / L"package.zip";
    fetched = fetch(url(), content_ / L"dl\\changed.zip", [&] {
        std::filesystem::last_write_time(served, std::filesystem::last_write_time(served) + 1h);
    });
    EXPECT_EQ(fetched.code, 200);
    EXPECT_TRUE(readFile(content_ / L"dl\\changed.zip") == package);
    EXPECT_EQ(ranges(), (std::vector<std::string>{"", "bytes=1500000-"}));
    EXPECT_EQ(fetched.startsOver, 1);
    EXPECT_TRUE(fetched.tapped == package);
}

TEST_F(ResumedDownload, AfterACutAnEmptyWholeAnswerOrAPartWithoutValidatorStartsTheFileOver)
{
    const std::string package = someBytes(2 * 1024 * 1024, 3);
    // The tap hears of the emptied file although no byte follows.
    serve(package, "drop:1000000:1:empty");
    Fetched fetched = fetch(url(), content_ / L"dl\\empty.zip");
    EXPECT_EQ(fetched.code, 200);
    EXPECT_EQ(std::filesystem::file_size(content_ / L"dl\\empty.zip"), 0u);
    EXPECT_EQ(fetched.startsOver, 1);
    EXPECT_TRUE(fetched.tapped.empty());

    // A part that names no version is not put behind the bytes held: the
    // file is fetched whole again.
    serve(package, "drop:1000000:1:novalidator");
    fetched = fetch(url(), content_ / L"dl\\unvalidated.zip");
    EXPECT_EQ(fetched.code, 200);
    EXPECT_TRUE(readFile(content_ / L"dl\\unvalidated.zip") == package);
    EXPECT_EQ(ranges(), (std::vector<std::string>{"", "bytes=1000000-", ""}));
    EXPECT_EQ(fetched.startsOver, 1);
    EXPECT_TRUE(fetched.tapped == package);
}

TEST(ReferenceVendorService, AnswersEveryOperationOfTheClient)
{
    const bool keyExisted = !regReadString64(HKEY_CURRENT_USER, productUserKeyPath(kSoftId), L"guid").empty();
    TempDir content;
    const std::string package(2 * 1024 * 1024 + 5, 'p');
    writeFile(content / L"package.zip", package);
    vendor::Options options;
    options.contentDir = content.path();
    options.version = "2.1.0.0";
    vendor::VendorService service(options);
    ASSERT_TRUE(service.start());
    const std::wstring origin = win::fromUtf8(service.baseUrl());
    {
        TAPI api(L"ad", kSoftId, origin, origin);

        std::wstring url, ver, framework;
        ASSERT_TRUE(api.GetSoftDownloadInfo(url, ver, framework));
        EXPECT_EQ(ver, L"2.1.0.0");
        EXPECT_EQ(api.currVer(), L"2.1.0.0");

        std::wstring coupon, failed;
        int32_t value = 0;
        EXPECT_TRUE(api.getUninstallCoupon(coupon, value, failed));
        EXPECT_EQ(value, options.couponPrice);

        TPricePlan plan;
        ASSERT_TRUE(api.getPricePlanFromlist(plan));
        EXPECT_EQ(plan.validity_type, 3);
        EXPECT_FALSE(api.getPayQRUrl_NotLogin(plan.id, coupon).empty());

        EXPECT_EQ(fetch(url, content / L"dl\\package.zip").code, 200);
        EXPECT_TRUE(readFile(content / L"dl\\package.zip") == package);

        vendor::Fault refuse;
        ASSERT_TRUE(vendor::Fault::parse("refuse:3", refuse));
        service.setFault("/api/config/soft_down", refuse);
        EXPECT_FALSE(api.GetSoftDownloadInfo(url, ver, framework));
    }
    service.stop();
    if (!keyExisted)
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
            ::RegDeleteKeyExW(HKEY_CURRENT_USER, productUserKeyPath(kSoftId).c_str(), view, 0);
}

} // namespace
