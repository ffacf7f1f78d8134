#include "net/HttpClient.h"

// The installer is only a client of the library: its server would add its
// code and, with it, std::regex and the C++ streams.
#define CPPHTTPLIB_NO_SERVER
#include <httplib.h>

#include <cctype>
#include <charconv>
#include <memory>
#include <mutex>

namespace net {

namespace {

constexpr std::string_view kHttpScheme = "http://";
constexpr char kContentLength[] = "Content-Length";
constexpr char kNotHttp[] = "not an http:// address";
constexpr char kStopped[] = "stopped by the receiver";
constexpr char kLibraryError[] = "the HTTP library failed";

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

int64_t announcedLength(const httplib::Response& response)
{
    if (!response.has_header(kContentLength))
        return 0;
    const std::string text = response.get_header_value(kContentLength);
    int64_t length = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), length);
    return ec == std::errc() && end == text.data() + text.size() && length > 0 ? length : 0;
}

} // namespace

bool splitHttpUrl(const std::string& url, std::string& origin, std::string& pathAndQuery)
{
    if (url.size() <= kHttpScheme.size())
        return false;
    for (size_t i = 0; i < kHttpScheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != kHttpScheme[i])
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

HttpClient::HttpClient(HttpTimeouts timeouts) : timeouts_(timeouts) {}

HttpClient::~HttpClient() = default;

void setRequestListener(RequestListener listener)
{
    auto shared = listener ? std::make_shared<const RequestListener>(std::move(listener)) : nullptr;
    const std::lock_guard lock(listenerMutex);
    requestListener = std::move(shared);
}

int HttpClient::get(const std::string& url, const HttpReceiver& receiver)
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
    record.status = exchange(url, counting, record.error);
    record.duration = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    tellListener(record);
    return record.status;
}

int HttpClient::exchange(const std::string& url, const HttpReceiver& receiver, std::string& error)
{
    std::string origin;
    std::string target;
    if (!splitHttpUrl(url, origin, target)) {
        error = kNotHttp;
        return -1;
    }
    try {
        httplib::Client client(origin);
        client.set_connection_timeout(timeouts_.connectSeconds, 0);
        client.set_read_timeout(timeouts_.idleSeconds, 0);
        client.set_follow_location(true);

        const auto result = client.Get(
            target,
            [&](const httplib::Response& response) {
                if (receiver.onBegin)
                    receiver.onBegin(response.status, announcedLength(response));
                return true;
            },
            [&](const char* data, size_t size) { return receiver.onData(data, size); });
        if (!result) {
            if (error.empty())
                error = httplib::to_string(result.error());
            return -1;
        }
        return result->status;
    } catch (...) {
        // The library may throw (bad allocation, malformed answer); callers
        // only ever see a failed exchange.
        error = kLibraryError;
        return -1;
    }
}

} // namespace net
