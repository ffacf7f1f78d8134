// An HTTP server on 127.0.0.1 inside the test process, on a port of its own.
// Each test sets the handlers it needs; every request is recorded.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct LoopbackRequest {
    std::string path;   // as sent, still percent-encoded
    std::string query;  // the raw text after "?", empty without one
    std::string target; // path and query as sent
    bool hasQuery = false;
};

struct LoopbackReply {
    int status = 200;
    std::string contentType = "application/json; charset=utf-8";
    // Sent with its length, unless `stream` is set.
    std::string body;
    // A body produced piece by piece: called with the bytes sent so far and a
    // writer, until it returns false. With `length` above 0 that length is
    // announced; with 0 the answer is chunked.
    std::function<bool(uint64_t offset, const std::function<bool(const char*, size_t)>& write)> stream;
    uint64_t length = 0;
};

class LoopbackServer {
public:
    using Handler = std::function<LoopbackReply(const LoopbackRequest&)>;

    LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    ~LoopbackServer();

    // GET PATH is answered by HANDLER; unknown paths get 404.
    void on(const std::string& path, Handler handler);
    // Shorthand: always 200 with this JSON body.
    void onJson(const std::string& path, const std::string& body);

    int port() const { return port_; }
    // "http://127.0.0.1:PORT"
    std::string origin() const;
    std::wstring worigin() const;

    std::vector<LoopbackRequest> requests() const;
    std::vector<LoopbackRequest> requestsTo(const std::string& path) const;

    // For handlers that stall: waits until the server is being stopped or
    // MILLISECONDS have passed. True when stopping.
    bool waitForStop(unsigned milliseconds) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int port_ = 0;
};

// A port on 127.0.0.1 that nobody listens on (taken, then released).
int unusedLoopbackPort();
