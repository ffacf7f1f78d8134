// Plain-HTTP GET on top of the HTTP library; the one place that knows it.
#pragma once

#include "net/SystemProxy.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace net {

// Bounds of one exchange. A peer that trickles must not hold its caller:
// besides the idle time, the whole exchange and its speed can be bounded.
struct HttpTimeouts {
    int connectSeconds = 10;
    // Longest time without receiving a byte before the exchange is given up.
    int idleSeconds = 30;
    // Longest time for the whole exchange, redirects included; 0: no bound.
    int totalSeconds = 0;
    // Fewer bytes of body than this within each span of lowSpeedSeconds
    // (the headers' time included) end the exchange; 0: no bound.
    int64_t lowSpeedBytes = 0;
    int lowSpeedSeconds = 0;
};

// What the headers of an answer tell.
struct HttpAnswer {
    int status = 0;
    // The announced length of the body, 0 when the server sends none
    // (chunked answer).
    int64_t length = 0;
    // Of a partial answer ("Content-Range: bytes FIRST-LAST/TOTAL"): where its
    // body starts and the size of the whole; -1 when not told.
    int64_t rangeFirst = -1;
    int64_t rangeTotal = -1;
    // What identifies this version of the body for "If-Range": the strong
    // ETag, else Last-Modified; "" when there is neither.
    std::string validator;
    // "Accept-Ranges: none": the server serves no part of it.
    bool refusesRanges = false;
};

// Request header fields besides the library's own.
using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// What a GET reports while the answer arrives, on the calling thread.
struct HttpReceiver {
    // Once, when the headers are in. False stops the transfer.
    std::function<bool(const HttpAnswer& answer)> onBegin;
    // Each piece of the body; false stops the transfer (a failed write).
    std::function<bool(const char* data, size_t size)> onData;
};

// One client per request or per download; it is not shared between threads.
class HttpClient {
public:
    // Requests go through the proxy that PROXY names for their host.
    explicit HttpClient(HttpTimeouts timeouts = {}, const ProxySettings& proxy = systemProxySettings());
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;
    ~HttpClient();

    // GETs an absolute "http://host[:port]/path?query" URL. Returns the
    // answer's status, or -1 when the URL is not plain HTTP, the exchange
    // failed (no connection, a bound passed, broken transfer) or the receiver
    // stopped it. Up to five redirects to plain-HTTP addresses are followed.
    // HEADERS go with every request.
    int get(const std::string& url, const HttpReceiver& receiver, const HttpHeaders& headers = {});

private:
    // The GET itself; ERROR says why it failed, PROXYUSED through which proxy.
    int exchange(const std::string& url, const HttpReceiver& receiver, const HttpHeaders& headers,
                 std::string& error, std::string& proxyUsed);

    HttpTimeouts timeouts_;
    ProxySettings proxy_;
};

// One finished GET, for whoever keeps a record of them.
struct RequestRecord {
    // As asked for, query included: whoever writes it down leaves out what
    // must not be kept.
    std::string url;
    // The answer's status; -1 when the exchange failed.
    int status = -1;
    // Why it failed ("" when it did not).
    std::string error;
    // Body bytes received.
    uint64_t bytes = 0;
    // The proxy it went through, "host:port"; "" when it went direct.
    std::string proxy;
    std::chrono::milliseconds duration{};
};

// Called after every GET of the process, on the thread that made it (the
// download worker's too); an empty one stops the calls.
using RequestListener = std::function<void(const RequestRecord&)>;
void setRequestListener(RequestListener listener);

// Splits "http://host[:port]/rest" into its origin and the rest ("/" when
// empty). False for any other scheme or an empty host.
bool splitHttpUrl(const std::string& url, std::string& origin, std::string& pathAndQuery);

} // namespace net
