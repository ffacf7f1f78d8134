#include "net/SystemProxy.h"

#include "tests/support/ProxySettingsOverride.h"

#include <gtest/gtest.h>

namespace {

using net::ProxyServer;
using net::parseProxySettings;
using net::proxyFor;

std::optional<ProxyServer> httpProxyOf(const std::wstring& server)
{
    return parseProxySettings(true, server, L"").http;
}

} // namespace

TEST(SystemProxy, ServerIsReadInBothFormsAndOnlyWhenEnabled)
{
    EXPECT_EQ(httpProxyOf(L"proxy.corp:8080"), (ProxyServer{"proxy.corp", 8080}));
    EXPECT_EQ(httpProxyOf(L" http://10.0.0.1:3128/ "), (ProxyServer{"10.0.0.1", 3128}));
    EXPECT_EQ(httpProxyOf(L"proxy.corp"), (ProxyServer{"proxy.corp", 80})) << "the default port";
    EXPECT_EQ(httpProxyOf(L"[::1]:8888"), (ProxyServer{"::1", 8888}));
    EXPECT_EQ(httpProxyOf(L"https=s.corp:443;HTTP=h.corp:81;ftp=f.corp:21"), (ProxyServer{"h.corp", 81}));
    EXPECT_EQ(httpProxyOf(L"http=h.corp:81 https=s.corp:443"), (ProxyServer{"h.corp", 81}));
    // No proxy for plain HTTP among the protocols, or none that can be used.
    EXPECT_FALSE(httpProxyOf(L"https=s.corp:443;socks=k.corp:1080"));
    EXPECT_FALSE(httpProxyOf(L""));
    EXPECT_FALSE(httpProxyOf(L"proxy.corp:0"));
    EXPECT_FALSE(httpProxyOf(L"proxy.corp:65536"));
    EXPECT_FALSE(httpProxyOf(L"proxy.corp:80x"));
    EXPECT_FALSE(httpProxyOf(L"user@proxy.corp:80"));
    EXPECT_FALSE(httpProxyOf(L"socks://k.corp:1080"));
    EXPECT_FALSE(parseProxySettings(false, L"proxy.corp:8080", L"").http) << "ProxyEnable 0";
}

TEST(SystemProxy, OverrideListDecidesWhatGoesDirect)
{
    const auto settings = parseProxySettings(true, L"proxy.corp:8080",
                                             L"*.Intra.corp; 192.168.*;http://build.corp:8000;<local>");
    const ProxyServer proxy{"proxy.corp", 8080};
    EXPECT_EQ(proxyFor(settings, "vendor.example.com", 80), proxy);
    EXPECT_FALSE(proxyFor(settings, "wiki.intra.corp", 80)) << "wildcards, any letter case";
    EXPECT_EQ(proxyFor(settings, "intra.corp", 80), proxy) << "*. needs something before the dot";
    EXPECT_FALSE(proxyFor(settings, "192.168.4.20", 80));
    EXPECT_FALSE(proxyFor(settings, "build.corp", 8000)) << "a pattern with a port";
    EXPECT_EQ(proxyFor(settings, "build.corp", 80), proxy);
    EXPECT_FALSE(proxyFor(settings, "fileserver", 80)) << "<local>: a name without a dot";

    // Loopback never reaches a proxy, unless the list says otherwise.
    EXPECT_FALSE(proxyFor(settings, "127.0.0.1", 8765));
    EXPECT_FALSE(proxyFor(settings, "localhost", 8765));
    EXPECT_FALSE(proxyFor(settings, "[::1]", 8765));
    EXPECT_FALSE(proxyFor(settings, "127.45.0.9", 8765));
    // Only literal loopback addresses: names and other spellings are not.
    for (const char* host :
         {"127.example.com", "127.0.0.1.example.com", "127.0.0", "127.0.0.256", "127.-1.0.0", "localhost.corp"})
        EXPECT_EQ(proxyFor(settings, host, 80), proxy) << host;
    const auto throughLoopback = parseProxySettings(true, L"proxy.corp:8080", L"<-loopback>");
    EXPECT_EQ(proxyFor(throughLoopback, "127.0.0.1", 8765), proxy);
    EXPECT_EQ(proxyFor(throughLoopback, "fileserver", 80), proxy) << "without <local>";
}

TEST(SystemProxy, SettingsComeFromTheUsersInternetSettings)
{
    {
        const ProxySettingsOverride set(1, L"http=proxy.corp:3128;https=proxy.corp:3129", L"*.corp;<local>");
        const auto settings = net::readSystemProxySettings();
        EXPECT_EQ(settings.http, (ProxyServer{"proxy.corp", 3128}));
        EXPECT_TRUE(settings.bypassLocal);
        EXPECT_EQ(settings.bypass, std::vector<std::string>{"*.corp"});
    }
    const ProxySettingsOverride off(0, L"proxy.corp:3128", L"");
    EXPECT_FALSE(net::readSystemProxySettings().http);
}
