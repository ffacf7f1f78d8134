#include "net/HttpClient.h"

// The installer is only a client of the library: its server would add its
// code and, with it, std::regex and the C++ streams.
#define CPPHTTPLIB_NO_SERVER
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace net {

namespace {

constexpr std::string_view kHttpScheme = "http://";
constexpr char kContentLength[] = "Content-Length";
constexpr char kContentRange[] = "Content-Range";
constexpr char kETag[] = "ETag";
constexpr char kLastModified[] = "Last-Modified";
constexpr char kAcceptRanges[] = "Accept-Ranges";
constexpr char kNone[] = "none";
constexpr std::string_view kBytesUnit = "bytes ";
constexpr std::string_view kWeakMark = "W/";
constexpr int kDefaultPort = 80;
constexpr char kLocation[] = "Location";
constexpr char kNotHttp[] = "not an http:// address";
constexpr char kStopped[] = "stopped by the receiver";
constexpr char kLibraryError[] = "the HTTP library failed";
constexpr char kOutOfBounds[] = "too slow or too long";
constexpr char kTooManyRedirects[] = "too many redirects";
constexpr int kMaxRedirects = 5;
// How often the bounds are looked at: their precision.
constexpr std::chrono::milliseconds kWatchInterval{100};

using Clock = std::chrono::steady_clock;

// Set and read from any thread: a worker may finish while the listener goes.
std::mutex listenerMutex;
std::shared_ptr<const RequestListener> requestListener;

void tellListener(const RequestRecord& record)
{
    std::shared_ptr<const RequestListener> listener;
    {
        const std::lock_guard lock(listenerMutex);
        listener = requestListener;
    }
    if (listener)
        (*listener)(record);
}

// TEXT as a whole number of at least 0; -1 for anything else.
int64_t wholeNumber(std::string_view text)
{
    int64_t number = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    return ec == std::errc() && end == text.data() + text.size() && number >= 0 ? number : -1;
}

HttpAnswer answerOf(const httplib::Response& response)
{
    HttpAnswer answer;
    answer.status = response.status;
    answer.length = std::max<int64_t>(0, wholeNumber(response.get_header_value(kContentLength)));
    // "bytes FIRST-LAST/TOTAL"
    const std::string range = response.get_header_value(kContentRange);
    const size_t dash = range.find('-'), slash = range.find('/');
    if (range.starts_with(kBytesUnit) && dash != std::string::npos && slash != std::string::npos && dash < slash) {
        const std::string_view text(range);
        answer.rangeFirst = wholeNumber(text.substr(kBytesUnit.size(), dash - kBytesUnit.size()));
        answer.rangeTotal = wholeNumber(text.substr(slash + 1));
    }
    // A weak ETag cannot ask for a range of the same version.
    const std::string etag = response.get_header_value(kETag);
    answer.validator = !etag.empty() && !etag.starts_with(kWeakMark) ? etag : response.get_header_value(kLastModified);
    answer.refusesRanges = response.get_header_value(kAcceptRanges) == kNone;
    return answer;
}

// "http://host[:port]" into its host (without the brackets of an IPv6
// address) and port.
void hostAndPort(const std::string& origin, std::string& host, int& port)
{
    host = origin.substr(kHttpScheme.size());
    port = kDefaultPort;
    const size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(']', colon) == std::string::npos) {
        port = static_cast<int>(std::max<int64_t>(0, wholeNumber(std::string_view(host).substr(colon + 1))));
        host.erase(colon);
    }
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

bool isRedirect(int status) { return status == 301 || status == 302 || status == 303 || status == 307 || status == 308; }

// LOCATION of an answer to ORIGIN + TARGET as an absolute URL.
std::string resolveLocation(const std::string& origin, const std::string& target, const std::string& location)
{
    if (startsWithNoCase(location, "http:") || startsWithNoCase(location, "https:"))
        return location;
    if (location.starts_with("//"))
        return "http:" + location;
    if (location.starts_with("/"))
        return origin + location;
    const std::string path = target.substr(0, target.find('?'));
    return origin + path.substr(0, path.rfind('/') + 1) + location;
}

// Ends an exchange that outlives its bounds. From another thread the library
// allows only stop(), which shuts the socket down so that the blocked read
// fails; it is repeated until the exchange has returned, because a stop()
// that comes before the connection exists does nothing.
class Watchdog {
public:
    explicit Watchdog(const HttpTimeouts& bounds) : bounds_(bounds), start_(Clock::now())
    {
        if (bounds_.totalSeconds > 0 || (bounds_.lowSpeedBytes > 0 && bounds_.lowSpeedSeconds > 0))
            thread_ = std::thread([this] { run(); });
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    ~Watchdog()
    {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable())
            thread_.join();
    }

    // The client of the current hop (null between hops).
    void watch(httplib::Client* client)
    {
        const std::lock_guard lock(mutex_);
        client_ = client;
    }
    void received(size_t bytes) { received_ += bytes; }
    bool tripped() const { return tripped_; }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        Clock::time_point spanStart = start_;
        uint64_t spanReceived = 0;
        while (!wake_.wait_for(lock, kWatchInterval, [this] { return done_; })) {
            const Clock::time_point now = Clock::now();
            if (bounds_.totalSeconds > 0 && now - start_ >= std::chrono::seconds(bounds_.totalSeconds))
                tripped_ = true;
            if (bounds_.lowSpeedBytes > 0 && bounds_.lowSpeedSeconds > 0 &&
                now - spanStart >= std::chrono::seconds(bounds_.lowSpeedSeconds)) {
                const uint64_t received = received_;
                if (received - spanReceived < static_cast<uint64_t>(bounds_.lowSpeedBytes))
                    tripped_ = true;
                spanStart = now;
                spanReceived = received;
            }
            if (tripped_ && client_)
                client_->stop();
        }
    }

    const HttpTimeouts bounds_;
    const Clock::time_point start_;
    std::atomic<uint64_t> received_{0};
    std::atomic<bool> tripped_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    httplib::Client* client_ = nullptr;
    std::thread thread_;
};

} // namespace

bool splitHttpUrl(const std::string& url, std::string& origin, std::string& pathAndQuery)
{
    if (url.size() <= kHttpScheme.size() || !startsWithNoCase(url, kHttpScheme))
        return false;
    const size_t hostEnd = url.find_first_of("/?#", kHttpScheme.size());
    const std::string host = url.substr(kHttpScheme.size(), hostEnd - kHttpScheme.size());
    if (host.empty() || host.find_first_of(" @") != std::string::npos)
        return false;
    origin = std::string(kHttpScheme) + host;
    pathAndQuery = hostEnd == std::string::npos ? std::string() : url.substr(hostEnd);
    if (const size_t fragment = pathAndQuery.find('#'); fragment != std::string::npos)
        pathAndQuery.erase(fragment);
    if (pathAndQuery.empty() || pathAndQuery.front() != '/')
        pathAndQuery.insert(0, "/");
    return true;
}

HttpClient::HttpClient(HttpTimeouts timeouts, const ProxySettings& proxy) : timeouts_(timeouts), proxy_(proxy) {}

HttpClient::~HttpClient() = default;

void setRequestListener(RequestListener listener)
{
    auto shared = listener ? std::make_shared<const RequestListener>(std::move(listener)) : nullptr;
    const std::lock_guard lock(listenerMutex);
    requestListener = std::move(shared);
}

int HttpClient::get(const std::string& url, const HttpReceiver& receiver, const HttpHeaders& headers)
{
    RequestRecord record;
    record.url = url;
    const auto started = std::chrono::steady_clock::now();
    HttpReceiver counting = receiver;
    counting.onData = [&](const char* data, size_t size) {
        if (receiver.onData && !receiver.onData(data, size)) {
            record.error = kStopped;
            return false;
        }
        record.bytes += size;
        return true;
    };
    record.status = exchange(url, counting, headers, record.error, record.proxy);
    record.duration = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    tellListener(record);
    return record.status;
}

int HttpClient::exchange(const std::string& url, const HttpReceiver& receiver, const HttpHeaders& headers,
                         std::string& error, std::string& proxyUsed)
{
    const httplib::Headers fields(headers.begin(), headers.end());
    try {
        Watchdog watchdog(timeouts_);
        std::string next = url;
        // Redirects are followed here rather than by the library, so that
        // every hop is under the same bounds and stays plain HTTP.
        for (int hop = 0; hop <= kMaxRedirects; ++hop) {
            std::string origin;
            std::string target;
            if (!splitHttpUrl(next, origin, target)) {
                error = kNotHttp;
                return -1;
            }
            httplib::Client client(origin);
            client.set_connection_timeout(timeouts_.connectSeconds, 0);
            client.set_read_timeout(timeouts_.idleSeconds, 0);
            std::string host;
            int port = kDefaultPort;
            hostAndPort(origin, host, port);
            // Each hop by the rule for its own host: a redirect may lead to
            // one that goes direct.
            proxyUsed.clear();
            if (const auto proxy = proxyFor(proxy_, host, port)) {
                client.set_proxy(proxy->host, proxy->port);
                proxyUsed = proxy->host + ":" + std::to_string(proxy->port);
            }

            std::string location;
            watchdog.watch(&client);
            const auto result = client.Get(
                target, fields,
                [&](const httplib::Response& response) {
                    if (isRedirect(response.status) && response.has_header(kLocation)) {
                        location = response.get_header_value(kLocation);
                        return false;
                    }
                    return !watchdog.tripped() && (!receiver.onBegin || receiver.onBegin(answerOf(response)));
                },
                [&](const char* data, size_t size) {
                    watchdog.received(size);
                    return !watchdog.tripped() && receiver.onData(data, size);
                });
            watchdog.watch(nullptr);
            if (watchdog.tripped()) {
                error = kOutOfBounds;
                return -1;
            }
            if (!location.empty()) {
                next = resolveLocation(origin, target, location);
                continue;
            }
            if (!result) {
                if (error.empty())
                    error = httplib::to_string(result.error());
                return -1;
            }
            return result->status;
        }
        error = kTooManyRedirects;
        return -1;
    } catch (...) {
        // The library may throw (bad allocation, malformed answer); callers
        // only ever see a failed exchange.
        error = kLibraryError;
        return -1;
    }
}

} // namespace net
