#include "net/ServiceAnswer.h"

#include "system/BoundedJson.h"
#include "system/Decimal.h"
#include "system/Encoding.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace {

constexpr wchar_t kNotAnEnvelope[] = L"an answer that is not the service's JSON";
constexpr wchar_t kRefused[] = L"refused with code ";
constexpr wchar_t kNoData[] = L"an answer without data";

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
    json root = parseBoundedJson(strData);
    if (root.is_discarded() || !root.is_object())
        return false;
    // Moved, not copied: nothing of an answer is copied where a reference does.
    const auto data = root.find("data");
    jsData = data != root.end() ? std::move(*data) : json();
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
    return parseDecimal(it->get_ref<const std::string&>(), false, price);
}

// A successful envelope with "code" 0 and a "data" object.
bool readDataObject(const std::string& answer, json& data)
{
    int retCode = -1;
    return getJsonObject(answer, data, retCode) && retCode == 0 && data.is_object();
}

} // namespace

std::wstring readSoftDownloadInfo(const std::string& answer, std::wstring& url, std::wstring& ver,
                                  std::wstring& frameworkUrl)
{
    json data;
    int retCode = 0;
    if (!getJsonObject(answer, data, retCode))
        return kNotAnEnvelope;
    if (retCode != 0)
        return kRefused + std::to_wstring(retCode);
    if (!data.is_object())
        return kNoData;
    url = readString(data, "url");
    ver = readString(data, "ver");
    frameworkUrl = readString(data, "framework_url");
    return {};
}

int32_t readCouponValue(const std::string& answer)
{
    json data;
    return readDataObject(answer, data) && readInteger(data, "status") > 0 ? readInteger(data, "price") : 0;
}

bool readPriceList(const std::string& answer, std::vector<TPricePlan>& list)
{
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

std::wstring readPayQrLink(const std::string& answer)
{
    json data;
    return readDataObject(answer, data) ? readString(data, "url") : std::wstring();
}
