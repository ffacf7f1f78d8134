#include "net/api.h"

#include "system/Encoding.h"
#include "system/Handles.h"
#include "system/Registry.h"
#include "system/util.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

constexpr char kSoftDown[] = "/api/config/soft_down";
constexpr char kPreInstall[] = "/api/report/preinstall";
constexpr char kInstall[] = "/api/report/install";
constexpr char kUninstall[] = "/api/report/uninstall";
constexpr char kCoupon[] = "/api/coupon-detail";
constexpr char kPricePlan[] = "/api/price_plan";
constexpr char kPayQr[] = "/api/notlogin-pay-qr";
// The demo product, which has an uninstall campaign.
constexpr wchar_t kDemoSoftId[] = L"velnotes_win";

std::string utf8(const std::wstring& text) { return win::toUtf8(text); }

bool keyExists(const std::wstring& path)
{
    win::RegKey key;
    return ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, key.put()) ==
           ERROR_SUCCESS;
}

// The product's per-user key, removed afterwards unless it was there before.
class ProductKey {
public:
    explicit ProductKey(std::wstring softId)
        : softId_(std::move(softId)), existed_(keyExists(productUserKeyPath(softId_)))
    {
    }
    ~ProductKey()
    {
        if (!existed_)
            for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
                ::RegDeleteKeyExW(HKEY_CURRENT_USER, productUserKeyPath(softId_).c_str(), view, 0);
    }
    const std::wstring& softId() const { return softId_; }

private:
    std::wstring softId_;
    bool existed_;
};

class ApiTest : public ::testing::Test {
protected:
    TAPI makeApi(const std::wstring& source = L"web") { return makeApi(source, product_.softId()); }
    TAPI makeApi(const std::wstring& source, const std::wstring& softId)
    {
        return TAPI(source, softId, server_.worigin(), server_.worigin());
    }
    std::string id() const { return utf8(product_.softId()); }

    ProductKey product_{L"apitest" + newCompactGuid()};
    LoopbackServer server_;
};

TEST_F(ApiTest, DeviceCodeIsMadeOnceAndKeptForTheUser)
{
    const TAPI first = makeApi();
    EXPECT_TRUE(std::regex_match(utf8(first.guid()), std::regex("[0-9A-F]{32}")));
    EXPECT_EQ(regReadString64(HKEY_CURRENT_USER, productUserKeyPath(product_.softId()), L"guid"), first.guid());

    TAPI second = makeApi();
    EXPECT_EQ(second.guid(), first.guid());
    second.ReportPreInstall();
    net::waitForQueuedRequests();
    EXPECT_NE(server_.requestsTo(kPreInstall).at(0).query.find("device_code=" + utf8(first.guid())),
              std::string::npos);
}

TEST_F(ApiTest, ReportsCarryTheVersionKnownAtTheTime)
{
    server_.onJson(kSoftDown, R"({"code":0,"data":{"url":"http://h/p.zip","ver":"2.1.0","framework_url":""}})");
    TAPI api = makeApi(L"abc");
    const std::string identity = "&source=abc&device_code=" + utf8(api.guid());

    api.ReportPreInstall();
    std::wstring url, ver, framework;
    ASSERT_TRUE(api.GetSoftDownloadInfo(url, ver, framework));
    api.ReportInstall();
    api.ReportUninstall(L"1.9.0");
    // Reports go out in the background, still in the order they were made.
    net::waitForQueuedRequests();

    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].target, std::string(kPreInstall) + "?soft_id=" + id() + "&curr_ver=" + identity);
    EXPECT_EQ(requests[1].target, std::string(kSoftDown) + "?soft_id=" + id());
    EXPECT_EQ(requests[2].target, std::string(kInstall) + "?soft_id=" + id() + "&curr_ver=2.1.0" + identity);
    EXPECT_EQ(requests[3].target, std::string(kUninstall) + "?soft_id=" + id() + "&curr_ver=1.9.0" + identity);
}

// At the program's end the reports still queued go out; one the service
// never answers holds the end up by the bound only.
TEST_F(ApiTest, QueuedReportsGoOutAtTheEndWithinTheBound)
{
    server_.onJson(kInstall, R"({"code":0})");
    server_.on(kUninstall, [this](const LoopbackRequest&) {
        server_.waitForStop(60000);
        return LoopbackReply{};
    });
    setProcessAPIOrigins(server_.worigin(), server_.worigin());
    createProcessAPI(L"web", product_.softId());
    setProcessAPIOrigins(L"", L"");
    processAPI()->ReportInstall();
    processAPI()->ReportUninstall(L"1.0");
    destroyProcessAPI();
    EXPECT_EQ(server_.requestsTo(kInstall).size(), 1u);
    EXPECT_EQ(server_.requestsTo(kUninstall).size(), 1u);
}

TEST_F(ApiTest, QueryValuesArePercentEncodedAsUtf8)
{
    TAPI api = makeApi(L"abc (1)&x=#\u00fc~-._");
    api.ReportPreInstall();
    net::waitForQueuedRequests();
    EXPECT_NE(server_.requests().at(0).query.find("&source=abc%20%281%29%26x%3D%23%C3%BC~-._&"), std::string::npos);
    EXPECT_EQ(encodeQueryValue(L"Az09-._~"), L"Az09-._~");
    EXPECT_EQ(encodeQueryValue(L"\u4e2d/+"), L"%E4%B8%AD%2F%2B");
}

TEST_F(ApiTest, RequestRoutineJoinsUrlAndQuery)
{
    server_.onJson("/p", "{}");
    std::string answer;
    ASSERT_TRUE(HttpGet(server_.worigin() + L"/p", L"&a=1&b=2", answer));
    EXPECT_EQ(answer, "{}");
    ASSERT_TRUE(HttpGet(server_.worigin() + L"/p?x=1&", L"&b=2", answer));
    ASSERT_TRUE(HttpGet(server_.worigin() + L"/p", L"", answer));
    const auto requests = server_.requests();
    EXPECT_EQ(requests.at(0).target, "/p?a=1&b=2");
    EXPECT_EQ(requests.at(1).target, "/p?x=1&b=2");
    EXPECT_EQ(requests.at(2).target, "/p?");
}

TEST_F(ApiTest, RequestRoutineFailsWithAnEmptyAnswer)
{
    server_.on("/err", [](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.status = 500;
        reply.body = "{\"code\":0}";
        return reply;
    });
    std::string answer = "old";
    EXPECT_FALSE(HttpGet(server_.worigin() + L"/err", L"", answer));
    EXPECT_TRUE(answer.empty());
    EXPECT_FALSE(HttpGet(server_.worigin() + L"/missing", L"", answer));
    EXPECT_FALSE(HttpGet(L"http://127.0.0.1:" + std::to_wstring(unusedLoopbackPort()) + L"/p", L"", answer));
    EXPECT_FALSE(HttpGet(L"https://127.0.0.1/p", L"", answer));
}

TEST_F(ApiTest, SmallFileDownloadReplacesTheFileOnlyWithAWholeAnswer)
{
    const TempDir dir;
    const std::wstring file = (dir / L"qr.png").wstring();
    server_.on("/pic", [](const LoopbackRequest&) { return LoopbackReply{200, "image/png", "picture", {}, 0}; });
    server_.on("/huge", [](const LoopbackRequest&) {
        return LoopbackReply{200, "image/png", std::string((4u << 20) + 1, 'x'), {}, 0};
    });
    ASSERT_TRUE(downloadUrlToFile(server_.worigin() + L"/pic", file));
    EXPECT_EQ(readFile(file), "picture");
    for (const std::wstring& url : {server_.worigin() + L"/huge", server_.worigin() + L"/missing",
                                    L"file:///" + dir.str() + L"\\qr.png"}) {
        EXPECT_FALSE(downloadUrlToFile(url, (dir / L"other.png").wstring())) << utf8(url);
        EXPECT_FALSE(std::filesystem::exists(dir / L"other.png"));
    }
}

TEST_F(ApiTest, DeeplyNestedAnswersAreRefusedWithoutHarm)
{
    // 200 KB, nested 100 000 deep: copying such a value would overflow the stack.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    server_.onJson(kSoftDown, R"({"code":0,"data":)" + deep + "}");
    server_.onJson(kPricePlan, R"({"code":0,"data":[)" + deep + "]}");
    TAPI api = makeApi();
    std::wstring url, ver, framework;
    EXPECT_FALSE(api.GetSoftDownloadInfo(url, ver, framework));
    std::vector<TPricePlan> plans;
    EXPECT_FALSE(api.getPriceList(plans));
}

TEST_F(ApiTest, DownloadInformationIsReadFromData)
{
    server_.onJson(kSoftDown, R"({"data":{"url":"http://h/\u5305.zip","ver":3,"extra":1}})");
    TAPI api = makeApi();
    std::wstring url, ver, framework = L"kept?";
    ASSERT_TRUE(api.GetSoftDownloadInfo(url, ver, framework));
    EXPECT_EQ(url, L"http://h/\u5305.zip");
    EXPECT_EQ(ver, L"3");
    EXPECT_EQ(framework, L"");
    EXPECT_EQ(api.currVer(), L"3");
}

TEST_F(ApiTest, RefusedOrMalformedDownloadInformationChangesNothing)
{
    TAPI api = makeApi();
    // The code is a number: the text "0" is no success.
    for (const char* body : {R"({"code":3,"data":{"url":"u","ver":"9"}})", R"({"code":"0","data":{"url":"u"}})",
                             R"({"code":0})", R"({"code":0,"data":[1]})", "not json", R"(["code",0])",
                             R"({"code":"x","data":{}})", R"({"code":4294967296,"data":{}})",
                             R"({"code":1e300,"data":{}})", ""}) {
        server_.onJson(kSoftDown, body);
        std::wstring url = L"u0", ver = L"v0", framework = L"f0";
        EXPECT_FALSE(api.GetSoftDownloadInfo(url, ver, framework)) << body;
        EXPECT_EQ(url + ver + framework, L"u0v0f0") << body;
        EXPECT_EQ(api.currVer(), L"") << body;
    }
}

TEST_F(ApiTest, CouponValueCountsOnlyWhenItsStatusIsPositive)
{
    ProductKey demo(kDemoSoftId);
    TAPI api = makeApi(L"", kDemoSoftId);
    std::wstring code, failed;
    int32_t value = -1;

    server_.onJson(kCoupon, R"({"code":0,"data":{"status":1,"price":30}})");
    EXPECT_TRUE(api.getUninstallCoupon(code, value, failed));
    EXPECT_EQ(value, 30);
    EXPECT_FALSE(code.empty());
    EXPECT_EQ(server_.requests().back().query, "code=" + utf8(code));

    server_.onJson(kCoupon, R"({"code":0,"data":{"status":0,"price":30}})");
    EXPECT_FALSE(api.getUninstallCoupon(code, value, failed));
    EXPECT_EQ(value, 0);
    server_.onJson(kCoupon, R"({"code":2,"data":{"status":1,"price":30}})");
    EXPECT_FALSE(api.getUninstallCoupon(code, value, failed));
    server_.onJson(kCoupon, "<html>");
    EXPECT_FALSE(api.getUninstallCoupon(code, value, failed));
    EXPECT_TRUE(failed.empty()) << "answered, though not with a coupon";
}

TEST_F(ApiTest, ProductWithoutCampaignAsksWithAnEmptyCode)
{
    server_.onJson(kCoupon, R"({"code":0,"data":{"status":0}})");
    TAPI api = makeApi();
    std::wstring code = L"old", failed;
    int32_t value = 5;
    EXPECT_FALSE(api.getUninstallCoupon(code, value, failed));
    EXPECT_EQ(code, L"");
    EXPECT_EQ(value, 0);
    EXPECT_EQ(server_.requests().at(0).target, std::string(kCoupon) + "?code=");
}

TEST_F(ApiTest, FailedCouponRequestNamesTheEndpoint)
{
    TAPI api = makeApi();
    std::wstring code, failed;
    int32_t value = 0;
    EXPECT_FALSE(api.getUninstallCoupon(code, value, failed));
    EXPECT_EQ(failed, server_.worigin() + L"/api/coupon-detail");
}

TEST_F(ApiTest, OfferedPlanIsTheFirstWithTheLongestValidity)
{
    server_.onJson(kPricePlan, R"({"code":0,"data":[
        {"plan_name":"month","id":11,"price":"9.9","validity_type":1,"device_limit":1},
        {"plan_name":"year","id":12,"price":59.5,"validity_type":3,"device_limit":2},
        {"plan_name":"year2","id":13,"price":"69","validity_type":3},
        {"plan_name":"quarter","id":14,"price":29,"validity_type":2}]})");
    TAPI api = makeApi();
    TPricePlan plan;
    ASSERT_TRUE(api.getPricePlanFromlist(plan));
    EXPECT_EQ(plan.id, 12);
    EXPECT_EQ(plan.plan_name, L"year");
    EXPECT_DOUBLE_EQ(plan.price, 59.5);
    EXPECT_EQ(plan.device_limit, 2);

    std::vector<TPricePlan> list(1);
    ASSERT_TRUE(api.getPriceList(list));
    ASSERT_EQ(list.size(), 5u);
    EXPECT_DOUBLE_EQ(list[1].price, 9.9);
    EXPECT_DOUBLE_EQ(list[3].price, 69);
    EXPECT_EQ(list[3].device_limit, 0);
    EXPECT_EQ(server_.requests().at(0).target, std::string(kPricePlan) + "?soft_id=" + id());
}

TEST_F(ApiTest, PriceAsTextOrNumberIsTheSame)
{
    server_.onJson(kPricePlan, R"({"data":[{"price":"19.90"},{"price":19.9}]})");
    std::vector<TPricePlan> list;
    ASSERT_TRUE(makeApi().getPriceList(list));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].price, list[1].price);
}

TEST_F(ApiTest, NoPlanIsOfferedWithoutAPositiveValidity)
{
    server_.onJson(kPricePlan, R"({"code":0,"data":[{"id":1,"price":1,"validity_type":0},{"id":2,"price":1}]})");
    TAPI api = makeApi();
    TPricePlan plan;
    plan.id = -7;
    EXPECT_FALSE(api.getPricePlanFromlist(plan));
    EXPECT_EQ(plan.id, -7);

    server_.onJson(kPricePlan, R"({"code":0,"data":[]})");
    std::vector<TPricePlan> list;
    EXPECT_TRUE(api.getPriceList(list));
    EXPECT_FALSE(api.getPricePlanFromlist(plan));
}

TEST_F(ApiTest, MalformedPriceListsFailWhole)
{
    TAPI api = makeApi();
    for (const char* body :
         {R"({"code":0,"data":{"id":1}})", R"({"code":0})", R"({"code":1,"data":[]})", "[",
          R"({"data":[{"price":1,"validity_type":3},{"price":"cheap","validity_type":3}]})",
          R"({"data":[{"price":"1,5"}]})", R"({"data":[{"price":null}]})", R"({"data":[{"validity_type":3}]})",
          R"({"data":[5]})"}) {
        server_.onJson(kPricePlan, body);
        std::vector<TPricePlan> list;
        EXPECT_FALSE(api.getPriceList(list)) << body;
        EXPECT_TRUE(list.empty()) << body;
        TPricePlan plan;
        EXPECT_FALSE(api.getPricePlanFromlist(plan)) << body;
    }
}

TEST_F(ApiTest, PaymentOrderKeepsOneUniqueCodePerProcess)
{
    server_.onJson(kPayQr, R"({"code":0,"data":{"url":"http://h/qr.png"}})");
    TAPI api = makeApi(L"src");
    EXPECT_EQ(api.getPayQRUrl_NotLogin(12, L"VN 30"), L"http://h/qr.png");
    TAPI other = makeApi(L"src");
    EXPECT_EQ(other.getPayQRUrl_NotLogin(0, L""), L"http://h/qr.png");

    const auto requests = server_.requestsTo(kPayQr);
    ASSERT_EQ(requests.size(), 2u);
    std::smatch match;
    const std::regex shape("goods_id=12&plan_type=0&coupon_code=VN%2030&unique_code=([0-9A-F]{32})&source=src&"
                           "device_code=" +
                           utf8(api.guid()));
    ASSERT_TRUE(std::regex_match(requests[0].query, match, shape)) << requests[0].query;
    EXPECT_EQ(requests[1].query, "goods_id=0&plan_type=0&coupon_code=&unique_code=" + match[1].str() +
                                     "&source=src&device_code=" + utf8(api.guid()));
}

TEST_F(ApiTest, RefusedPaymentRequestGivesNoLink)
{
    TAPI api = makeApi();
    for (const char* body : {R"({"code":1,"data":{"url":"u"}})", R"({"code":0})", "qr"}) {
        server_.onJson(kPayQr, body);
        EXPECT_EQ(api.getPayQRUrl_NotLogin(1, L""), L"") << body;
    }
}

} // namespace
