#include "net/api.h"

#include "BuildConstants.h"
#include "net/HttpClient.h"
#include "system/Encoding.h"
#include "system/Process.h"
#include "system/RegValues.h"
#include "system/util.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
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
constexpr wchar_t kNotAnEnvelope[] = L"an answer that is not the service's JSON";
constexpr wchar_t kRefused[] = L"refused with code ";
constexpr wchar_t kNoData[] = L"an answer without data";

// Service answers are small envelopes; anything far bigger is not one.
constexpr size_t kMaxAnswerBytes = 4u << 20;
constexpr net::HttpTimeouts kRequestTimeouts{10, 30};

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

using json = nlohmann::json;

// A JSON number as a 32-bit integer, fractions cut off. Values outside the
// range stop at its ends: a plain cast would wrap a refusal code of 2^32 to
// 0 (success), and is undefined for a double out of range.
int32_t clampedInt32(const json& number)
{
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    if (number.is_number_unsigned())
        return static_cast<int32_t>(std::min<uint64_t>(number.get<uint64_t>(), kMax));
    if (number.is_number_integer())
        return static_cast<int32_t>(std::clamp<int64_t>(number.get<int64_t>(), kMin, kMax));
    const double value = number.get<double>();
    if (!(value > double(kMin) - 1))
        return static_cast<int32_t>(kMin);
    if (!(value < double(kMax) + 1))
        return static_cast<int32_t>(kMax);
    return static_cast<int32_t>(value);
}

// The envelope: "data" (null when absent) and "code" (0 when absent). False
// for an empty text, or one that is not a JSON object.
bool getJsonObject(const std::string& strData, json& jsData, int& retCode)
{
    if (strData.empty())
        return false;
    json root = json::parse(strData, nullptr, false);
    if (root.is_discarded() || !root.is_object())
        return false;
    jsData = root.contains("data") ? root["data"] : json();
    retCode = 0;
    if (const auto code = root.find("code"); code != root.end()) {
        if (!code->is_number())
            return false;
        retCode = clampedInt32(*code);
    }
    return true;
}

// Missing member or null: "". Numbers read as their decimal text.
std::wstring readString(const json& object, const char* name)
{
    const auto it = object.find(name);
    if (it == object.end() || it->is_null() || it->is_object() || it->is_array())
        return {};
    if (it->is_string())
        return win::fromUtf8(it->get_ref<const std::string&>());
    return win::fromUtf8(it->dump());
}

// Missing member: 0. Fractions are cut off; a decimal string is accepted.
int32_t readInteger(const json& object, const char* name)
{
    const auto it = object.find(name);
    if (it == object.end())
        return 0;
    if (it->is_number())
        return clampedInt32(*it);
    if (it->is_boolean())
        return it->get<bool>() ? 1 : 0;
    if (it->is_string()) {
        const std::string& text = it->get_ref<const std::string&>();
        int64_t value = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec == std::errc() && end == text.data() + text.size())
            return clampedInt32(json(value));
    }
    return 0;
}

// The price as a JSON number or a decimal text with a point, whatever the
// user's locale. False when it is neither.
bool readPrice(const json& object, double& price)
{
    const auto it = object.find("price");
    if (it == object.end())
        return false;
    if (it->is_number()) {
        price = it->get<double>();
        return true;
    }
    if (!it->is_string())
        return false;
    const std::string& text = it->get_ref<const std::string&>();
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return false;
    price = value;
    return true;
}

// A successful envelope with "code" 0 and a "data" object.
bool readDataObject(const std::string& answer, json& data)
{
    int retCode = -1;
    return getJsonObject(answer, data, retCode) && retCode == 0 && data.is_object();
}

bool isUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

std::wstring originOf(const wchar_t* host) { return std::wstring(kHttpPrefix) + host; }

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
    net::HttpReceiver receiver;
    receiver.onData = [&body](const char* data, size_t size) {
        if (body.size() + size > kMaxAnswerBytes)
            return false;
        body.append(data, size);
        return true;
    };
    net::HttpClient client(kRequestTimeouts);
    const int status = client.get(win::toUtf8(request), receiver);
    if (status < 200 || status > 299)
        return false;
    answer = std::move(body);
    return true;
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
    json data;
    int retCode = 0;
    if (!request(apiUrl(kSoftDownPath), L"soft_id=" + encodeQueryValue(FSoftId), answer))
        lastFailure_ = kNoAnswer;
    else if (!getJsonObject(answer, data, retCode))
        lastFailure_ = kNotAnEnvelope;
    else if (retCode != 0)
        lastFailure_ = kRefused + std::to_wstring(retCode);
    else if (!data.is_object())
        lastFailure_ = kNoData;
    else
        lastFailure_.clear();
    if (!lastFailure_.empty())
        return false;
    url = readString(data, "url");
    ver = readString(data, "ver");
    framework_url = readString(data, "framework_url");
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
    json data;
    if (readDataObject(answer, data) && readInteger(data, "status") > 0)
        couponVal = readInteger(data, "price");
    return couponVal > 0;
}

bool TAPI::getPriceList(std::vector<TPricePlan>& list)
{
    std::string answer;
    if (!request(apiUrl(kPricePlanPath), L"soft_id=" + encodeQueryValue(FSoftId), answer))
        return false;
    json data;
    int retCode = -1;
    if (!getJsonObject(answer, data, retCode) || retCode != 0 || !data.is_array())
        return false;
    // Read everything first: a malformed plan fails the whole list rather
    // than leaving the caller half of it.
    std::vector<TPricePlan> plans;
    for (const json& item : data) {
        if (!item.is_object())
            return false;
        TPricePlan plan;
        plan.plan_name = readString(item, "plan_name");
        plan.id = readInteger(item, "id");
        if (!readPrice(item, plan.price))
            return false;
        plan.validity_type = readInteger(item, "validity_type");
        plan.device_limit = readInteger(item, "device_limit");
        plans.push_back(std::move(plan));
    }
    list.insert(list.end(), plans.begin(), plans.end());
    return true;
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
    json data;
    if (!request(apiUrl(kPayQrPath), query, answer) || !readDataObject(answer, data))
        return {};
    return readString(data, "url");
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
