// Reading the configuration's JSON text: the one object and its values.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

// The whole text as a JSON object; throws ConfigDataError, naming the
// reason, for a text that is no JSON object or nests too deep.
nlohmann::json parseConfigObject(std::wstring_view data);
// A text key: a string as it is, a number as its decimal text, anything else
// (missing included) as "".
std::wstring configText(const nlohmann::json& object, const char* key);
// A boolean key: false unless it holds true.
bool configFlag(const nlohmann::json& object, const char* key);
