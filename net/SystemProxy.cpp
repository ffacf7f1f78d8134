#include "net/SystemProxy.h"

#include "system/Encoding.h"
#include "system/Registry.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <charconv>

namespace net {

namespace {

constexpr wchar_t kInternetSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr wchar_t kProxyEnable[] = L"ProxyEnable";
constexpr wchar_t kProxyServer[] = L"ProxyServer";
constexpr wchar_t kProxyOverride[] = L"ProxyOverride";

constexpr std::string_view kListSeparators = "; \t\r\n";
constexpr std::string_view kHttpPrefix = "http://";
constexpr std::string_view kSchemeMark = "://";
constexpr std::string_view kHttpProtocol = "http";
constexpr std::string_view kLocalMark = "<local>";
constexpr std::string_view kNoLoopbackMark = "<-loopback>";
constexpr std::string_view kLocalhost = "localhost";
constexpr int kLoopbackV4Network = 127;
constexpr int kAddressParts = 4;
constexpr int kMaxAddressPart = 255;
constexpr std::string_view kLoopbackV6 = "::1";
constexpr int kDefaultPort = 80;
constexpr int kMaxPort = 65535;

std::string lower(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

std::vector<std::string> listItems(std::string_view text)
{
    std::vector<std::string> items;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find_first_of(kListSeparators, at), text.size());
        if (end > at)
            items.emplace_back(text.substr(at, end - at));
        at = end + 1;
    }
    return items;
}

std::string_view withoutHttpPrefix(std::string_view text)
{
    if (lower(text.substr(0, kHttpPrefix.size())) == kHttpPrefix)
        text.remove_prefix(kHttpPrefix.size());
    return text;
}

bool isHostCharacter(unsigned char c) { return std::isalnum(c) || c == '.' || c == '-' || c == '_'; }

// "host[:port]", "[v6 address][:port]", optionally after "http://".
bool parseServer(std::string_view text, ProxyServer& server)
{
    const size_t first = text.find_first_not_of(kListSeparators);
    text = first == std::string_view::npos ? std::string_view() : text.substr(first);
    text = text.substr(0, text.find_last_not_of(kListSeparators) + 1);
    text = withoutHttpPrefix(text);
    if (text.find(kSchemeMark) != std::string_view::npos)
        return false;
    while (!text.empty() && text.back() == '/')
        text.remove_suffix(1);
    std::string_view host = text;
    std::string_view port;
    if (text.starts_with('[')) {
        const size_t close = text.find(']');
        if (close == std::string_view::npos)
            return false;
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && (!rest.starts_with(':') || rest.size() == 1))
            return false;
        port = rest.empty() ? rest : rest.substr(1);
        if (host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos)
            return false;
    } else {
        if (const size_t colon = text.find(':'); colon != std::string_view::npos) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
        }
        if (std::any_of(host.begin(), host.end(), [](unsigned char c) { return !isHostCharacter(c); }))
            return false;
    }
    int number = kDefaultPort;
    if (!port.empty()) {
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (ec != std::errc() || end != port.data() + port.size() || number < 1 || number > kMaxPort)
            return false;
    }
    if (host.empty())
        return false;
    server = {std::string(host), number};
    return true;
}

// PATTERN with "*" standing for any run of characters, against TEXT.
bool wildcardMatch(std::string_view pattern, std::string_view text)
{
    size_t p = 0, t = 0;
    size_t star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// A dotted IPv4 address in 127.0.0.0/8: four decimal parts, nothing else
// (a name such as "127.example.com" is resolved like any other).
bool isLoopbackV4(std::string_view host)
{
    int parts[kAddressParts] = {};
    const char* at = host.data();
    const char* const end = host.data() + host.size();
    for (int i = 0; i < kAddressParts; ++i) {
        if (i > 0) {
            if (at == end || *at != '.')
                return false;
            ++at;
        }
        const auto [next, error] = std::from_chars(at, end, parts[i]);
        if (error != std::errc() || next == at || next - at > 3 || parts[i] < 0 || parts[i] > kMaxAddressPart)
            return false;
        at = next;
    }
    return at == end && parts[0] == kLoopbackV4Network;
}

bool isLoopback(std::string_view host) { return host == kLocalhost || host == kLoopbackV6 || isLoopbackV4(host); }

} // namespace

ProxySettings parseProxySettings(bool enabled, std::wstring_view server, std::wstring_view override)
{
    ProxySettings settings;
    for (const std::string& item : listItems(lower(win::toUtf8(std::wstring(override))))) {
        if (item == kLocalMark)
            settings.bypassLocal = true;
        else if (item == kNoLoopbackMark)
            settings.bypassLoopback = false;
        else
            settings.bypass.emplace_back(withoutHttpPrefix(item));
    }
    if (!enabled)
        return settings;
    const std::string text = win::toUtf8(std::wstring(server));
    ProxyServer proxy;
    if (text.find('=') == std::string::npos) {
        // One proxy for every protocol.
        if (parseServer(text, proxy))
            settings.http = proxy;
        return settings;
    }
    for (const std::string& item : listItems(text)) {
        const size_t equals = item.find('=');
        if (equals != std::string::npos && lower(item.substr(0, equals)) == kHttpProtocol &&
            parseServer(std::string_view(item).substr(equals + 1), proxy)) {
            settings.http = proxy;
            break;
        }
    }
    return settings;
}

std::optional<ProxyServer> proxyFor(const ProxySettings& settings, std::string_view host, int port)
{
    if (!settings.http)
        return std::nullopt;
    std::string name = lower(host);
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    if (settings.bypassLoopback && isLoopback(name))
        return std::nullopt;
    if (settings.bypassLocal && name.find_first_of(".:") == std::string::npos)
        return std::nullopt;
    const std::string withPort = name + ":" + std::to_string(port);
    for (const std::string& pattern : settings.bypass)
        if (wildcardMatch(pattern, name) || wildcardMatch(pattern, withPort))
            return std::nullopt;
    return settings.http;
}

ProxySettings readSystemProxySettings()
{
    DWORD enabled = 0;
    std::wstring server, override;
    // Read only: a missing key or value means no proxy.
    win::RegKey key;
    if (reg::openKey(HKEY_CURRENT_USER, kInternetSettings, KEY_QUERY_VALUE, key) == ERROR_SUCCESS) {
        reg::readDword(key.get(), kProxyEnable, enabled);
        reg::readString(key.get(), kProxyServer, server);
        reg::readString(key.get(), kProxyOverride, override);
    }
    return parseProxySettings(enabled != 0, server, override);
}

const ProxySettings& systemProxySettings()
{
    static const ProxySettings settings = readSystemProxySettings();
    return settings;
}

} // namespace net
