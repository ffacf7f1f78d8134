// The vendor service's answers read: the JSON envelope ("code" and "data")
// and the payload of each operation. Text in, values out; every byte is the
// network's, so nothing here trusts its shape, its nesting or its numbers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TPricePlan {
    std::wstring plan_name;
    int32_t id = 0;
    double price = 0;
    int32_t validity_type = 0;
    int32_t device_limit = 0;
};

// "url", "ver" and "framework_url" of an answer with "code" 0 and a "data"
// object, and ""; for any other answer the outputs stay as they were and the
// result says what was wrong with it.
std::wstring readSoftDownloadInfo(const std::string& answer, std::wstring& url, std::wstring& ver,
                                  std::wstring& frameworkUrl);
// The coupon's value: "price" of an answer with "code" 0 whose "status" is
// above 0; 0 for any other answer.
int32_t readCouponValue(const std::string& answer);
// Appends the plans of an answer with "code" 0 whose "data" is an array.
// False, LIST unchanged, for any other answer or when a plan is not an
// object or has no readable price.
bool readPriceList(const std::string& answer, std::vector<TPricePlan>& list);
// "url" of an answer with "code" 0 and a "data" object; "" otherwise.
std::wstring readPayQrLink(const std::string& answer);
