#include "config/ConfigJson.h"

#include "config/ConfigFile.h"
#include "system/BoundedJson.h"
#include "system/Encoding.h"

namespace {

constexpr char kInvalidConfig[] = "config data is invalid: ";
constexpr char kNotAnObject[] = "the text is not a JSON object";

} // namespace

std::wstring configText(const nlohmann::json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end())
        return {};
    if (it->is_string())
        return win::fromUtf8(it->get_ref<const std::string&>());
    if (it->is_number())
        return win::fromUtf8(it->dump());
    return {};
}

bool configFlag(const nlohmann::json& object, const char* key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_boolean() && it->get<bool>();
}

nlohmann::json parseConfigObject(std::wstring_view data)
{
    std::string reason = kNotAnObject;
    nlohmann::json object = parseBoundedJson(win::toUtf8(data), &reason);
    if (!object.is_object())
        throw ConfigDataError(kInvalidConfig + reason);
    return object;
}
