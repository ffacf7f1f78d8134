// Client of the vendor's web service: download information, install and
// uninstall reports, the uninstall coupon, price plans and the payment code.
// Every operation is one plain-HTTP GET, sent by the process's request queue
// (RequestQueue.h) in the order the operations were called: a report goes
// out in the background, the others return with their answer. None throws to
// its caller: a failed or refused request gives false or an empty text.
#pragma once

#include "net/RequestQueue.h"
#include "net/ServiceAnswer.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// How long the end of the program waits for reports that are still queued.
inline constexpr std::chrono::milliseconds kReportGrace{5000};

// GETs URL followed by QUERY: a "?" is added when URL has none and a leading
// "&" of QUERY is dropped. True with the body (UTF-8) for a 2xx answer; false
// with an empty ANSWER for anything else.
bool HttpGet(const std::wstring& url, const std::wstring& query, std::string& answer);

// Fetches a small file (at most 4 MiB, such as the payment code picture) into
// FILE, replacing it; true for a 2xx answer written whole.
bool downloadUrlToFile(const std::wstring& url, const std::wstring& file);

// A query value in RFC 3986 form: UTF-8, unreserved characters kept, every
// other byte as %XX.
std::wstring encodeQueryValue(const std::wstring& value);

class TAPI {
public:
    // Talks to the build's API server and web site. WAITFORMESSAGE: how the
    // calling thread handles its messages while it waits for an answer;
    // without it the thread blocks.
    TAPI(const std::wstring& fromSource, const std::wstring& softId, net::MessageWait waitForMessage = {});
    // Talks to the given origins ("http://host[:port]", no trailing slash).
    TAPI(const std::wstring& fromSource, const std::wstring& softId, std::wstring apiOrigin,
         std::wstring webOrigin, net::MessageWait waitForMessage = {});

    bool GetSoftDownloadInfo(std::wstring& url, std::wstring& ver, std::wstring& framework_url);
    // Why the last GetSoftDownloadInfo gave false, for the record.
    const std::wstring& lastFailure() const { return lastFailure_; }
    void ReportPreInstall();
    void ReportInstall();
    void ReportUninstall(const std::wstring& localVersion);
    // True when the service grants the product's uninstall coupon, worth
    // COUPONVAL. FAILEDREQUEST is the endpoint's URL when the exchange itself
    // failed (the caller tells the user), "" otherwise.
    bool getUninstallCoupon(std::wstring& couponCode, int32_t& couponVal, std::wstring& failedRequest);
    bool getPriceList(std::vector<TPricePlan>& list);
    bool getPricePlanFromlist(TPricePlan& pricePlan);
    std::wstring getPayQRUrl_NotLogin(int32_t goods_id, const std::wstring& coupon_code);
    void openCustomerService();

    const std::wstring& softId() const { return FSoftId; }
    const std::wstring& currVer() const { return FCurrVer; }
    const std::wstring& fromSource() const { return FFromSource; }
    const std::wstring& guid() const { return FGuid; }

private:
    std::wstring apiUrl(const wchar_t* path) const;
    void sendReport(const wchar_t* path, const std::wstring& version);
    // HttpGet through the request queue, waiting for the answer.
    bool request(const std::wstring& url, const std::wstring& query, std::string& answer);

    std::wstring FSoftId;
    std::wstring FCurrVer;
    std::wstring FFromSource;
    std::wstring FGuid;
    std::wstring apiOrigin_;
    std::wstring webOrigin_;
    net::MessageWait waitForMessage_;
    std::wstring lastFailure_;
};

// The one client of the process, created and destroyed by the main window and
// reached by every window. processAPI() is null outside that lifetime.
void createProcessAPI(const std::wstring& fromSource, const std::wstring& softId,
                      net::MessageWait waitForMessage = {});
// Origins the next createProcessAPI talks to instead of the build's hosts
// (tests point the program's client at their own loopback server); empty
// texts return to the build's hosts.
void setProcessAPIOrigins(std::wstring apiOrigin, std::wstring webOrigin);
TAPI* processAPI();
// Destroys the client. The reports still queued get up to LIMIT to go out.
void destroyProcessAPI(std::chrono::milliseconds limit = kReportGrace);
