// Plain-HTTP GET on top of the HTTP library; the one place that knows it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

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

// What a GET reports while the answer arrives, on the calling thread.
struct HttpReceiver {
    // Once, when the headers are in: the status and the announced length of
    // the body, 0 when the server sends none (chunked answer). False stops
    // the transfer.
    std::function<bool(int status, int64_t total)> onBegin;
    // Each piece of the body; false stops the transfer (a failed write).
    std::function<bool(const char* data, size_t size)> onData;
};

// One client per request or per download; it is not shared between threads.
class HttpClient {
public:
    explicit HttpClient(HttpTimeouts timeouts = {});
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;
    ~HttpClient();

    // GETs an absolute "http://host[:port]/path?query" URL. Returns the
    // answer's status, or -1 when the URL is not plain HTTP, the exchange
    // failed (no connection, a bound passed, broken transfer) or the receiver
    // stopped it. Up to five redirects to plain-HTTP addresses are followed.
    int get(const std::string& url, const HttpReceiver& receiver);

private:
    // The GET itself; ERROR says why it failed.
    int exchange(const std::string& url, const HttpReceiver& receiver, std::string& error);

    HttpTimeouts timeouts_;
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
