// A forward HTTP proxy on 127.0.0.1 inside the test process: it takes
// requests in the absolute form a client sends to a proxy, fetches them from
// their server and records every request line's target.
#pragma once

#include <memory>
#include <string>
#include <vector>

class LoopbackProxy {
public:
    LoopbackProxy();
    LoopbackProxy(const LoopbackProxy&) = delete;
    LoopbackProxy& operator=(const LoopbackProxy&) = delete;
    ~LoopbackProxy();

    int port() const { return port_; }
    // The targets as received ("http://host:port/path?query"), in order.
    std::vector<std::string> targets() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int port_ = 0;
};
