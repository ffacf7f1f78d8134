// The HTTP client against a server of raw sockets, which can answer in ways
// no well-behaved server does: trickling, endless or countless headers.
#include "net/HttpClient.h"

#include <gtest/gtest.h>

#include <winsock2.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace {

// One connection at a time on 127.0.0.1: reads the request head, hands its
// first line and the socket to SERVE, then closes the connection.
class RawServer {
public:
    using Serve = std::function<void(const std::string& requestLine, SOCKET peer)>;

    explicit RawServer(Serve serve) : serve_(std::move(serve))
    {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof(address);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        ::listen(listener_, 4);
        thread_ = std::thread([this] { run(); });
    }
    ~RawServer()
    {
        stopping_ = true;
        ::closesocket(listener_);
        thread_.join();
        ::WSACleanup();
    }

    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    bool stopping() const { return stopping_; }

private:
    void run()
    {
        for (;;) {
            const SOCKET peer = ::accept(listener_, nullptr, nullptr);
            if (peer == INVALID_SOCKET)
                return;
            std::string head;
            char c;
            while (head.find("\r\n\r\n") == std::string::npos && ::recv(peer, &c, 1, 0) == 1)
                head += c;
            serve_(head.substr(0, head.find("\r\n")), peer);
            ::closesocket(peer);
        }
    }

    Serve serve_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

bool sendText(SOCKET peer, const std::string& text)
{
    return ::send(peer, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
}

int get(const std::string& url, const net::HttpTimeouts& timeouts, std::string* body = nullptr)
{
    net::HttpReceiver receiver;
    receiver.onData = [body](const char* data, size_t size) {
        if (body)
            body->append(data, size);
        return true;
    };
    return net::HttpClient(timeouts).get(url, receiver);
}

} // namespace

TEST(HttpClient, TricklingServerIsCutOffByTheTotalBound)
{
    // A header line, one byte every 100 ms, for 10 s: never idle, never done.
    std::atomic<int> sent{0};
    RawServer server([&](const std::string&, SOCKET peer) {
        sendText(peer, "HTTP/1.1 200 OK\r\nX-Slow: ");
        while (sent < 100 && !server.stopping() && sendText(peer, "a")) {
            ++sent;
            ::Sleep(100);
        }
    });
    EXPECT_EQ(get(server.url("/"), {10, 30, 1}), -1);
    EXPECT_LT(sent, 100) << "the client waited for the server to give up";
}

TEST(HttpClient, EndlessOrCountlessHeadersFail)
{
    // One header line that never ends, as fast as the socket takes it.
    std::atomic<size_t> lineSent{0};
    constexpr size_t kFlood = 64u << 20;
    RawServer endless([&](const std::string&, SOCKET peer) {
        sendText(peer, "HTTP/1.1 200 OK\r\nX-Long: ");
        const std::string piece(64 * 1024, 'a');
        while (lineSent < kFlood && sendText(peer, piece))
            lineSent += piece.size();
    });
    EXPECT_EQ(get(endless.url("/"), {10, 30, 60}), -1);
    EXPECT_LT(lineSent, kFlood) << "the client read the whole line";

    RawServer countless([](const std::string&, SOCKET peer) {
        std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n";
        for (int i = 0; i < 1000; ++i)
            head += "X-" + std::to_string(i) + ": v\r\n";
        sendText(peer, head + "\r\nok");
    });
    EXPECT_EQ(get(countless.url("/"), {10, 30, 60}), -1);
}

TEST(HttpClient, RedirectsStayPlainHttpAndEnd)
{
    RawServer server([&](const std::string& line, SOCKET peer) {
        auto redirect = [&](const std::string& to) {
            sendText(peer, "HTTP/1.1 302 Found\r\nLocation: " + to + "\r\nContent-Length: 0\r\n\r\n");
        };
        if (line.starts_with("GET /start "))
            redirect("next?x=1");
        else if (line.starts_with("GET /next?x=1 "))
            redirect(server.url("/done"));
        else if (line.starts_with("GET /done "))
            sendText(peer, "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\ndone");
        else if (line.starts_with("GET /loop "))
            redirect("/loop");
        else if (line.starts_with("GET /tls "))
            redirect("https://127.0.0.1/done");
    });
    std::string body;
    EXPECT_EQ(get(server.url("/start"), {}, &body), 200);
    EXPECT_EQ(body, "done");
    EXPECT_EQ(get(server.url("/loop"), {}), -1);
    EXPECT_EQ(get(server.url("/tls"), {}), -1);
}
