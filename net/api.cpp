#include "net/api.h"

#include "BuildConstants.h"
#include "net/HttpClient.h"
#include "system/Encoding.h"
#include "system/Handles.h"
#include "system/Process.h"
#include "system/Registry.h"
#include "system/util.h"

#include <memory>

namespace {

constexpr wchar_t kHttpPrefix[] = L"http://";
constexpr wchar_t kSoftDownPath[] = L"/api/config/soft_down";
constexpr wchar_t kPreInstallPath[] = L"/api/report/preinstall";
constexpr wchar_t kInstallPath[] = L"/api/report/install";
constexpr wchar_t kUninstallPath[] = L"/api/report/uninstall";
constexpr wchar_t kCouponPath[] = L"/api/coupon-detail";
constexpr wchar_t kPricePlanPath[] = L"/api/price_plan";
constexpr wchar_t kPayQrPath[] = L"/api/notlogin-pay-qr";
constexpr wchar_t kCustomerServicePage[] = L"/t.php?act=chatwithus&name=";
constexpr wchar_t kGuidValue[] = L"guid";
constexpr wchar_t kNoAnswer[] = L"no answer";

// Service answers are small envelopes, and the payment code a small picture;
// anything far bigger is neither.
constexpr size_t kMaxAnswerBytes = 4u << 20;
// The window waits for these calls: a server that trickles is cut off.
constexpr net::HttpTimeouts kRequestTimeouts{10, 15, 30};

// Uninstall campaign of each of the vendor's products (empty: no campaign).
struct CouponRow {
    const wchar_t* softId;
    const wchar_t* code;
};
constexpr CouponRow kUninstallCoupons[16] = {
    {L"velnotes_win", L"VNUNIN30"},     {L"velnotes_pro", L"VNPUNIN30"},
    {L"velpdf_win", L"VPDFUNIN20"},     {L"velpdf_editor", L"VPEUNIN20"},
    {L"velscreen_rec", L"VSRUNIN25"},   {L"velvideo_conv", L"VVCUNIN25"},
    {L"velaudio_edit", L"VAEUNIN15"},   {L"velphoto_fix", L""},
    {L"veldata_recovery", L"VDRUNIN40"}, {L"velpartition", L""},
    {L"velocr_win", L"VOCUNIN20"},      {L"velmind_map", L"VMMUNIN10"},
    {L"velcad_view", L"VCVUNIN20"},     {L"velzip_win", L""},
    {L"veltranslate", L"VTRUNIN15"},    {L"velclean_pc", L"VCPUNIN10"},
};

// Identifies the payment order of this run; made on the first payment request.
std::wstring tmp_order_guid;

std::unique_ptr<TAPI> theProcessAPI;
std::wstring processApiOrigin;
std::wstring processWebOrigin;

bool isUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

std::wstring originOf(const wchar_t* host) { return std::wstring(kHttpPrefix) + host; }

// The body of a 2xx answer to URL, at most kMaxAnswerBytes of it.
bool fetchSmallBody(const std::wstring& url, std::string& body)
{
    net::HttpReceiver receiver;
    receiver.onData = [&body](const char* data, size_t size) {
        if (body.size() + size > kMaxAnswerBytes)
            return false;
        body.append(data, size);
        return true;
    };
    net::HttpClient client(kRequestTimeouts);
    const int status = client.get(win::toUtf8(url), receiver);
    return status >= 200 && status <= 299;
}

} // namespace

std::wstring encodeQueryValue(const std::wstring& value)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::wstring encoded;
    for (const char ch : win::toUtf8(value)) {
        const auto c = static_cast<unsigned char>(ch);
        if (isUnreserved(c)) {
            encoded += static_cast<wchar_t>(c);
        } else {
            encoded += L'%';
            encoded += static_cast<wchar_t>(kHex[c >> 4]);
            encoded += static_cast<wchar_t>(kHex[c & 15]);
        }
    }
    return encoded;
}

bool HttpGet(const std::wstring& url, const std::wstring& query, std::string& answer)
{
    answer.clear();
    std::wstring request = url;
    if (request.find(L'?') == std::wstring::npos)
        request += L'?';
    request += (!query.empty() && query.front() == L'&') ? query.substr(1) : query;

    std::string body;
    if (!fetchSmallBody(request, body))
        return false;
    answer = std::move(body);
    return true;
}

bool downloadUrlToFile(const std::wstring& url, const std::wstring& file)
{
    std::string body;
    if (!fetchSmallBody(url, body))
        return false;
    bool written = false;
    {
        const win::FileHandle out(
            ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD count = 0;
        written = out && ::WriteFile(out.get(), body.data(), static_cast<DWORD>(body.size()), &count, nullptr) &&
                  count == body.size();
    }
    if (!written)
        ::DeleteFileW(file.c_str());
    return written;
}

TAPI::TAPI(const std::wstring& fromSource, const std::wstring& softId, net::MessageWait waitForMessage)
    : TAPI(fromSource, softId, originOf(build::kApiHost), originOf(build::kWebHost), std::move(waitForMessage))
{
}

TAPI::TAPI(const std::wstring& fromSource, const std::wstring& softId, std::wstring apiOrigin,
           std::wstring webOrigin, net::MessageWait waitForMessage)
    : FSoftId(softId), FFromSource(fromSource), apiOrigin_(std::move(apiOrigin)), webOrigin_(std::move(webOrigin)),
      waitForMessage_(std::move(waitForMessage))
{
    const std::wstring keyPath = productUserKeyPath(FSoftId);
    if (regReadString64(HKEY_CURRENT_USER, keyPath, kGuidValue).empty()) {
        try {
            regWriteString(HKEY_CURRENT_USER, keyPath, kGuidValue, newCompactGuid());
        } catch (const std::exception&) {
            // The device code then stays empty for this run: the reports
            // still go out, the service merely cannot tell users apart.
        }
    }
    // Whatever the registry holds is the device code, also if another
    // process wrote it in between.
    FGuid = regReadString64(HKEY_CURRENT_USER, keyPath, kGuidValue);
}

std::wstring TAPI::apiUrl(const wchar_t* path) const { return apiOrigin_ + path; }

bool TAPI::request(const std::wstring& url, const std::wstring& query, std::string& answer)
{
    // Shared with the queued job, which outlives a wait that was given up.
    auto reply = std::make_shared<std::pair<bool, std::string>>(false, std::string());
    if (!net::runInOrder([reply, url, query] { reply->first = HttpGet(url, query, reply->second); },
                         waitForMessage_))
        return false;
    answer = std::move(reply->second);
    return reply->first;
}

bool TAPI::GetSoftDownloadInfo(std::wstring& url, std::wstring& ver, std::wstring& framework_url)
{
    std::string answer;
    lastFailure_ = request(apiUrl(kSoftDownPath), L"soft_id=" + encodeQueryValue(FSoftId), answer)
                       ? readSoftDownloadInfo(answer, url, ver, framework_url)
                       : kNoAnswer;
    if (!lastFailure_.empty())
        return false;
    FCurrVer = ver;
    return true;
}

void TAPI::sendReport(const wchar_t* path, const std::wstring& version)
{
    const std::wstring query = L"soft_id=" + encodeQueryValue(FSoftId) + L"&curr_ver=" + encodeQueryValue(version) +
                               L"&source=" + encodeQueryValue(FFromSource) + L"&device_code=" +
                               encodeQueryValue(FGuid);
    // The answer is not looked at: nobody waits for it.
    net::sendInBackground([url = apiUrl(path), query] {
        std::string ignored;
        HttpGet(url, query, ignored);
    });
}

void TAPI::ReportPreInstall() { sendReport(kPreInstallPath, FCurrVer); }

void TAPI::ReportInstall() { sendReport(kInstallPath, FCurrVer); }

void TAPI::ReportUninstall(const std::wstring& localVersion) { sendReport(kUninstallPath, localVersion); }

bool TAPI::getUninstallCoupon(std::wstring& couponCode, int32_t& couponVal, std::wstring& failedRequest)
{
    couponCode.clear();
    for (const CouponRow& row : kUninstallCoupons) {
        if (FSoftId == row.softId) {
            couponCode = row.code;
            break;
        }
    }
    couponVal = 0;
    failedRequest.clear();
    const std::wstring url = apiUrl(kCouponPath);
    std::string answer;
    if (!request(url, L"code=" + encodeQueryValue(couponCode), answer)) {
        failedRequest = url;
        return false;
    }
    couponVal = readCouponValue(answer);
    return couponVal > 0;
}

bool TAPI::getPriceList(std::vector<TPricePlan>& list)
{
    std::string answer;
    return request(apiUrl(kPricePlanPath), L"soft_id=" + encodeQueryValue(FSoftId), answer) &&
           readPriceList(answer, list);
}

bool TAPI::getPricePlanFromlist(TPricePlan& pricePlan)
{
    std::vector<TPricePlan> plans;
    if (!getPriceList(plans))
        return false;
    int32_t best = 0;
    bool found = false;
    for (const TPricePlan& plan : plans) {
        if (plan.validity_type > best) {
            best = plan.validity_type;
            pricePlan = plan;
            found = true;
        }
    }
    return found;
}

std::wstring TAPI::getPayQRUrl_NotLogin(int32_t goods_id, const std::wstring& coupon_code)
{
    if (tmp_order_guid.empty())
        tmp_order_guid = newCompactGuid();
    const std::wstring query = L"goods_id=" + std::to_wstring(goods_id) + L"&plan_type=0&coupon_code=" +
                               encodeQueryValue(coupon_code) + L"&unique_code=" + encodeQueryValue(tmp_order_guid) +
                               L"&source=" + encodeQueryValue(FFromSource) + L"&device_code=" +
                               encodeQueryValue(FGuid);
    std::string answer;
    if (!request(apiUrl(kPayQrPath), query, answer))
        return {};
    return readPayQrLink(answer);
}

void TAPI::openCustomerService() { openUrl(webOrigin_ + kCustomerServicePage + encodeQueryValue(FSoftId)); }

void createProcessAPI(const std::wstring& fromSource, const std::wstring& softId, net::MessageWait waitForMessage)
{
    theProcessAPI = processApiOrigin.empty() ? std::make_unique<TAPI>(fromSource, softId, std::move(waitForMessage))
                                             : std::make_unique<TAPI>(fromSource, softId, processApiOrigin,
                                                                      processWebOrigin, std::move(waitForMessage));
}

void setProcessAPIOrigins(std::wstring apiOrigin, std::wstring webOrigin)
{
    processApiOrigin = std::move(apiOrigin);
    processWebOrigin = std::move(webOrigin);
}

TAPI* processAPI() { return theProcessAPI.get(); }

void destroyProcessAPI(std::chrono::milliseconds limit)
{
    theProcessAPI.reset();
    net::waitForQueuedRequests(limit);
}
