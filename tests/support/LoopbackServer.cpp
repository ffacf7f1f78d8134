#include "tests/support/LoopbackServer.h"

#include "system/Encoding.h"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <thread>

struct LoopbackServer::Impl {
    httplib::Server server;
    std::thread thread;
    mutable std::mutex mutex;
    mutable std::condition_variable stopped;
    bool stopping = false;
    std::map<std::string, Handler> handlers;
    std::vector<LoopbackRequest> requests;
};

namespace {

LoopbackRequest recordOf(const httplib::Request& request)
{
    LoopbackRequest record;
    record.target = request.target;
    const size_t mark = request.target.find('?');
    record.hasQuery = mark != std::string::npos;
    record.path = request.target.substr(0, mark);
    if (record.hasQuery)
        record.query = request.target.substr(mark + 1);
    return record;
}

} // namespace

LoopbackServer::LoopbackServer() : impl_(std::make_unique<Impl>())
{
    Impl& impl = *impl_;
    impl.server.Get(".*", [&impl](const httplib::Request& request, httplib::Response& response) {
        const LoopbackRequest record = recordOf(request);
        Handler handler;
        {
            std::lock_guard lock(impl.mutex);
            impl.requests.push_back(record);
            if (auto it = impl.handlers.find(record.path); it != impl.handlers.end())
                handler = it->second;
        }
        if (!handler) {
            response.status = 404;
            return;
        }
        LoopbackReply reply = handler(record);
        response.status = reply.status;
        if (!reply.stream) {
            response.set_content(reply.body, reply.contentType.c_str());
            return;
        }
        auto produce = [stream = reply.stream](size_t offset, httplib::DataSink& sink) {
            return stream(offset, [&sink](const char* data, size_t size) { return sink.write(data, size); });
        };
        if (reply.length > 0) {
            response.set_content_provider(static_cast<size_t>(reply.length), reply.contentType.c_str(),
                                          [produce](size_t offset, size_t, httplib::DataSink& sink) {
                                              return produce(offset, sink);
                                          });
        } else {
            response.set_chunked_content_provider(
                reply.contentType.c_str(), [produce](size_t offset, httplib::DataSink& sink) {
                    if (!produce(offset, sink))
                        sink.done();
                    return true;
                });
        }
    });
    port_ = impl.server.bind_to_any_port("127.0.0.1");
    impl.thread = std::thread([&impl] { impl.server.listen_after_bind(); });
    // The server's stop() ends only a server that is already listening: wait
    // for that, so that stopping right after starting cannot hang.
    for (int i = 0; i < 5000 && !impl.server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackServer::~LoopbackServer()
{
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->stopped.notify_all();
    impl_->server.stop();
    impl_->thread.join();
}

void LoopbackServer::on(const std::string& path, Handler handler)
{
    std::lock_guard lock(impl_->mutex);
    impl_->handlers[path] = std::move(handler);
}

void LoopbackServer::onJson(const std::string& path, const std::string& body)
{
    on(path, [body](const LoopbackRequest&) {
        LoopbackReply reply;
        reply.body = body;
        return reply;
    });
}

std::string LoopbackServer::origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::wstring LoopbackServer::worigin() const { return win::fromUtf8(origin()); }

std::vector<LoopbackRequest> LoopbackServer::requests() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

std::vector<LoopbackRequest> LoopbackServer::requestsTo(const std::string& path) const
{
    std::vector<LoopbackRequest> result;
    for (LoopbackRequest& request : requests())
        if (request.path == path)
            result.push_back(std::move(request));
    return result;
}

bool LoopbackServer::waitForStop(unsigned milliseconds) const
{
    std::unique_lock lock(impl_->mutex);
    return impl_->stopped.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return impl_->stopping; });
}

int unusedLoopbackPort()
{
    // Bound and closed again without listening, so a connection is refused.
    const SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (probe == INVALID_SOCKET)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    int port = 0;
    if (::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::closesocket(probe);
    return port;
}
