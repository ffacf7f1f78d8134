// Languages of the translator and the product record it takes.
#pragma once

#include <cstdint>
#include <string>

enum TLanguage { Lang_EN, Lang_FR, Lang_GE, Lang_JA, Lang_KO, Lang_RU, Lang_SP, Lang_TU, Lang_CH, Lang_HK };

struct TSoftInfo {
    std::wstring softEnName;
    std::wstring softVer;
    std::int32_t BuiltDate = 0;
    TLanguage lang = Lang_CH;
};
