#include "vendor_service/VendorService.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <mutex>

using nlohmann::json;

namespace {

class VendorServiceTest : public ::testing::Test {
protected:
    TempDir content;
    std::vector<std::string> log;
    std::mutex logMutex;
    std::unique_ptr<vendor::VendorService> service;

    void SetUp() override
    {
        writeFile(content / L"package.zip", std::string(3 * 1024 * 1024 + 17, 'p'));
        vendor::Options options;
        options.contentDir = content.path();
        options.version = "2.1.0.0";
        options.log = [this](const std::string& line) {
            std::lock_guard lock(logMutex);
            log.push_back(line);
        };
        service = std::make_unique<vendor::VendorService>(options);
        ASSERT_TRUE(service->start());
    }

    httplib::Result get(const std::string& target, int readTimeoutSec = 10, const httplib::Headers& headers = {})
    {
        httplib::Client client("127.0.0.1", service->port());
        client.set_read_timeout(readTimeoutSec, 0);
        return client.Get(target, headers);
    }

    json getJson(const std::string& target)
    {
        const auto res = get(target);
        EXPECT_TRUE(res && res->status == 200);
        return res ? json::parse(res->body, nullptr, false) : json();
    }
};

} // namespace

TEST_F(VendorServiceTest, AnswersEveryEndpoint)
{
    const json info = getJson("/api/config/soft_down?soft_id=velnotes_win");
    EXPECT_EQ(info["code"], 0);
    EXPECT_EQ(info["data"]["ver"], "2.1.0.0");
    EXPECT_EQ(info["data"]["url"], service->baseUrl() + "/files/package.zip");
    EXPECT_EQ(info["data"]["framework_url"], service->baseUrl() + "/files/DotNetFramework.exe");

    EXPECT_EQ(getJson("/api/report/install?soft_id=a&curr_ver=&source=b&device_code=c")["code"], 0);
    EXPECT_EQ(getJson("/api/coupon-detail?code=STAY60")["data"]["status"], 1);
    EXPECT_EQ(getJson("/api/coupon-detail?code=STAY60")["data"]["price"], 60);
    EXPECT_EQ(getJson("/api/coupon-detail?code=")["data"]["status"], 0);
    EXPECT_EQ(getJson("/api/price_plan?soft_id=a")["data"].size(), 3u);
    EXPECT_EQ(getJson("/api/notlogin-pay-qr?goods_id=103")["data"]["url"], service->baseUrl() + "/files/qr.png");
    const auto page = get("/t.php?act=chatwithus&name=velnotes_win");
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find("chatwithus"), std::string::npos);
    const auto freeMember = get("/docs/freemember");
    ASSERT_TRUE(freeMember);
    EXPECT_EQ(freeMember->status, 200);
    EXPECT_EQ(freeMember->get_header_value("Content-Type"), "text/html; charset=utf-8");
}

TEST_F(VendorServiceTest, ServesFilesAndRecordsRequests)
{
    const auto res = get("/files/package.zip");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, readFile(content / L"package.zip"));
    EXPECT_EQ(get("/files/missing.exe")->status, 404);
    EXPECT_EQ(get("/files/..%5Cpackage.zip")->status, 404);

    get("/api/report/preinstall?soft_id=a&curr_ver=&source=abc%20&device_code=D");
    const auto requests = service->requests();
    const auto& report = requests.back();
    EXPECT_EQ(report.path, "/api/report/preinstall");
    EXPECT_EQ(report.query.at("source"), "abc ");
    EXPECT_EQ(report.query.at("curr_ver"), "");
    EXPECT_EQ(report.rawQuery, "soft_id=a&curr_ver=&source=abc%20&device_code=D");
    std::lock_guard lock(logMutex);
    ASSERT_EQ(log.size(), requests.size());
    EXPECT_EQ(json::parse(log.back())["query"]["source"], "abc ");
}

TEST_F(VendorServiceTest, MisbehavesOnRequest)
{
    vendor::Fault fault;
    ASSERT_TRUE(vendor::Fault::parse("refuse:3", fault));
    service->setFault("/api/config/soft_down", fault);
    EXPECT_EQ(getJson("/api/config/soft_down?soft_id=a")["code"], 3);

    ASSERT_TRUE(vendor::Fault::parse("garbage", fault));
    service->setFault("/api/price_plan", fault);
    EXPECT_TRUE(json::parse(get("/api/price_plan")->body, nullptr, false).is_discarded());

    ASSERT_TRUE(vendor::Fault::parse("404", fault));
    service->setFault("/files/package.zip", fault);
    EXPECT_EQ(get("/files/package.zip")->status, 404);

    ASSERT_TRUE(vendor::Fault::parse("nolength", fault));
    service->setFault("/files/package.zip", fault);
    const auto chunked = get("/files/package.zip");
    ASSERT_TRUE(chunked);
    EXPECT_FALSE(chunked->has_header("Content-Length"));
    EXPECT_EQ(chunked->body.size(), 3u * 1024 * 1024 + 17);

    ASSERT_TRUE(vendor::Fault::parse("stall:60000", fault));
    service->setFault("/api/coupon-detail", fault);
    EXPECT_FALSE(get("/api/coupon-detail?code=x", 1)); // the client gives up; stop() ends the stall
    EXPECT_FALSE(vendor::Fault::parse("explode", fault));
}

TEST_F(VendorServiceTest, ServesRangesOfTheSameVersionAndDropsConnectionsOnRequest)
{
    const std::string file = readFile(content / L"package.zip");
    const auto whole = get("/files/package.zip");
    ASSERT_TRUE(whole);
    const std::string etag = whole->get_header_value("ETag");
    EXPECT_FALSE(etag.empty());
    EXPECT_EQ(whole->get_header_value("Accept-Ranges"), "bytes");

    const auto rest = get("/files/package.zip", 10, {{"Range", "bytes=1000-"}, {"If-Range", etag}});
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->status, 206);
    EXPECT_EQ(rest->get_header_value("Content-Range"),
              "bytes 1000-" + std::to_string(file.size() - 1) + "/" + std::to_string(file.size()));
    EXPECT_TRUE(rest->body == file.substr(1000));
    EXPECT_EQ(service->requests().back().range, "bytes=1000-");

    // Another version's validator: the whole file, not a piece of this one.
    const auto changed = get("/files/package.zip", 10, {{"Range", "bytes=1000-"}, {"If-Range", "\"other\""}});
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->status, 200);
    EXPECT_EQ(changed->body.size(), file.size());

    // Each answer is cut after the fault's bytes: a resumed one too.
    vendor::Fault fault;
    EXPECT_FALSE(vendor::Fault::parse("drop:0", fault));
    ASSERT_TRUE(vendor::Fault::parse("drop:1000000", fault));
    service->setFault("/files/package.zip", fault);
    std::string received;
    httplib::Client client("127.0.0.1", service->port());
    EXPECT_FALSE(client.Get("/files/package.zip", [&](const char* data, size_t size) {
        received.append(data, size);
        return true;
    }));
    EXPECT_EQ(received.size(), 1000000u);
    const auto resumed = get("/files/package.zip", 10, {{"Range", "bytes=3000000-"}, {"If-Range", etag}});
    ASSERT_TRUE(resumed);
    EXPECT_EQ(resumed->status, 206);
    EXPECT_TRUE(resumed->body == file.substr(3000000)) << "fewer bytes than the cut";

    // Only the next answer is cut.
    EXPECT_FALSE(vendor::Fault::parse("drop:1000:0", fault));
    ASSERT_TRUE(vendor::Fault::parse("drop:1000:1", fault));
    service->setFault("/files/package.zip", fault);
    EXPECT_FALSE(get("/files/package.zip"));
    const auto next = get("/files/package.zip");
    ASSERT_TRUE(next);
    EXPECT_EQ(next->body.size(), file.size());
}
