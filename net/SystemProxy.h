// The user's proxy, as Windows' Internet Settings keep it (HKCU
// "...\Internet Settings": ProxyEnable, ProxyServer, ProxyOverride). Only
// what a plain-HTTP client can use is taken: the proxy for http://
// addresses and the list of hosts that bypass it. Automatic configuration
// (a PAC script, WPAD) and SOCKS proxies are not followed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace net {

struct ProxyServer {
    std::string host;
    int port = 80;
    bool operator==(const ProxyServer&) const = default;
};

struct ProxySettings {
    // The proxy for http:// addresses; none: every request goes direct.
    std::optional<ProxyServer> http;
    // ProxyOverride's patterns, lower case; "*" stands for any run of
    // characters. A pattern with a port is matched against "host:port".
    std::vector<std::string> bypass;
    // "<local>": host names without a dot go direct.
    bool bypassLocal = false;
    // Loopback addresses go direct unless the list says "<-loopback>": a
    // proxy cannot reach this machine's loopback.
    bool bypassLoopback = true;
};

// The settings from the three values as the registry holds them. SERVER is
// "host[:port]" for every protocol, or "http=host[:port];https=...;..." per
// protocol; a port defaults to 80. OVERRIDE is a list separated by ";".
// Whatever cannot be read as a proxy leaves requests direct.
ProxySettings parseProxySettings(bool enabled, std::wstring_view server, std::wstring_view override);

// The proxy for a request to HOST (as in its URL, without the port) on PORT;
// none when it goes direct.
std::optional<ProxyServer> proxyFor(const ProxySettings& settings, std::string_view host, int port);

// The current user's settings, read from the registry now.
ProxySettings readSystemProxySettings();
// The same, read on the first call of the process and kept: one run uses one
// proxy choice.
const ProxySettings& systemProxySettings();

} // namespace net
