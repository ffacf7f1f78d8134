// Every reader of the vendor service's answers on any text.
#include "net/ServiceAnswer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string answer(reinterpret_cast<const char*>(data), size);
    std::wstring url, ver, framework;
    readSoftDownloadInfo(answer, url, ver, framework);
    readCouponValue(answer);
    std::vector<TPricePlan> plans;
    readPriceList(answer, plans);
    readPayQrLink(answer);
    return 0;
}
