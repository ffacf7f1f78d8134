// JSON texts from outside (service answers, the configuration) parsed with a
// bound on their nesting. The parser itself keeps its own stack, but copying,
// comparing or printing a value recurses once per level: a small text nested
// a few thousand deep would overflow the thread's stack there.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

// Far deeper than any answer or configuration of ours.
inline constexpr int kMaxJsonDepth = 64;
inline constexpr char kJsonTooDeep[] = "the text nests deeper than 64 levels";

// The parsed TEXT; a discarded value (is_discarded()) when TEXT is no JSON or
// nests deeper than kMaxJsonDepth, and then REASON, when given, says why.
inline nlohmann::json parseBoundedJson(std::string_view text, std::string* reason = nullptr)
{
    bool tooDeep = false;
    // Beyond the bound nothing is kept, so nothing deep is ever built.
    const nlohmann::json::parser_callback_t keep = [&tooDeep](int depth, nlohmann::json::parse_event_t,
                                                              nlohmann::json&) {
        if (depth > kMaxJsonDepth)
            tooDeep = true;
        return !tooDeep;
    };
    try {
        nlohmann::json value = nlohmann::json::parse(text, keep);
        if (!tooDeep)
            return value;
        if (reason)
            *reason = kJsonTooDeep;
    } catch (const nlohmann::json::exception& e) {
        if (reason)
            *reason = e.what();
    }
    return nlohmann::json(nlohmann::json::value_t::discarded);
}
