// The client and the download worker against the reference vendor service,
// which the demo and the end-to-end runs use.
#include "net/UDownThread.h"
#include "net/api.h"

#include "system/Encoding.h"
#include "system/RegValues.h"
#include "system/util.h"
#include "tests/support/TempDir.h"
#include "vendor_service/VendorService.h"

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kSoftId[] = L"velnotes_win";

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

        int64_t outcome = 0;
        bool finished = false;
        StartDownload(url, (content / L"dl\\package.zip").wstring(), nullptr, nullptr,
                      [&](TDownThread*, int64_t code) {
                          outcome = code;
                          finished = true;
                      });
        const ULONGLONG deadline = ::GetTickCount64() + 60000;
        while (!finished && ::GetTickCount64() < deadline) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageW(&msg);
        }
        EXPECT_EQ(outcome, 200);
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
