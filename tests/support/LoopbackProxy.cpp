#include "tests/support/LoopbackProxy.h"

#include <httplib.h>

#include <chrono>
#include <string_view>
#include <mutex>
#include <thread>

namespace {

constexpr std::string_view kHttpScheme = "http://";
constexpr char kContentType[] = "Content-Type";
constexpr char kOctets[] = "application/octet-stream";
// What a proxy answers for a request it cannot forward.
constexpr int kBadGateway = 502;
constexpr int kBadRequest = 400;
// Passed on as the server sent them; the proxy itself serves ranges of the
// body it fetched whole.
constexpr const char* kPassedHeaders[] = {"ETag", "Last-Modified", "Accept-Ranges"};

// "http://host:port/rest" split after its origin; false for any other form.
bool splitAbsolute(const std::string& target, std::string& origin, std::string& rest)
{
    if (!target.starts_with(kHttpScheme))
        return false;
    const size_t slash = target.find('/', kHttpScheme.size());
    origin = target.substr(0, slash);
    rest = slash == std::string::npos ? "/" : target.substr(slash);
    return origin.size() > kHttpScheme.size();
}

} // namespace

struct LoopbackProxy::Impl {
    httplib::Server server;
    std::thread thread;
    mutable std::mutex mutex;
    std::vector<std::string> targets;
};

LoopbackProxy::LoopbackProxy() : impl_(std::make_unique<Impl>())
{
    Impl& impl = *impl_;
    impl.server.Get(".*", [&impl](const httplib::Request& request, httplib::Response& response) {
        {
            const std::lock_guard lock(impl.mutex);
            impl.targets.push_back(request.target);
        }
        std::string origin, pathAndQuery;
        if (!splitAbsolute(request.target, origin, pathAndQuery)) {
            response.status = kBadRequest;
            return;
        }
        httplib::Client upstream(origin);
        const auto answer = upstream.Get(pathAndQuery);
        if (!answer) {
            response.status = kBadGateway;
            return;
        }
        response.status = answer->status;
        for (const char* name : kPassedHeaders)
            if (answer->has_header(name))
                response.set_header(name, answer->get_header_value(name));
        const std::string type = answer->get_header_value(kContentType);
        response.set_content(answer->body, type.empty() ? kOctets : type.c_str());
    });
    port_ = impl.server.bind_to_any_port("127.0.0.1");
    impl.thread = std::thread([&impl] { impl.server.listen_after_bind(); });
    // stop() ends only a server that is already listening.
    for (int i = 0; i < 5000 && !impl.server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackProxy::~LoopbackProxy()
{
    impl_->server.stop();
    impl_->thread.join();
}

std::vector<std::string> LoopbackProxy::targets() const
{
    const std::lock_guard lock(impl_->mutex);
    return impl_->targets;
}
