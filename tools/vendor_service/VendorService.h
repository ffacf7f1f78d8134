// The reference vendor service: a small HTTP server that answers every
// request the installer makes of a vendor, serves the package, the framework
// installer and the payment code picture from a content folder, logs each
// request as one JSON line, and can be told to misbehave per endpoint.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vendor {

// How one endpoint (or served file path) misbehaves.
struct Fault {
    // Empty: a whole answer of no bytes. NoValidator: a file's answers name
    // no version of it (no ETag), ranges still served.
    enum class Kind { None, Refuse, Garbage, Stall, NotFound, NoLength, Drop, Empty, NoValidator };
    Kind kind = Kind::None;
    int code = 1;       // Refuse: the envelope's "code"
    int stallMs = 0;    // Stall: how long the answer is held back (ended early by stop())
    int64_t dropAfter = 0; // Drop: body bytes of each answer after which the connection is cut
    int times = 0;         // Drop: only the next TIMES answers are cut; 0: every one
    Kind then = Kind::None; // Drop with TIMES: the fault of the answers after them

    // "refuse:3", "garbage", "stall:5000", "404", "nolength", "empty",
    // "novalidator", "drop:1048576", "drop:1048576:1", "drop:1048576:1:empty",
    // "drop:1048576:1:novalidator"; false when TEXT is none of them.
    static bool parse(const std::string& text, Fault& fault);
};

struct Options {
    std::string host = "127.0.0.1";
    int port = 0;                            // 0: any free port
    std::filesystem::path contentDir;        // package.zip, DotNetFramework.exe, qr.png
    std::string version = "2.0.1.0";         // "ver" of the download information
    // The package link of the download information: unset, the package this
    // service serves; empty, an answer without a link; else sent as it is.
    std::optional<std::string> packageUrl;
    int couponPrice = 60;                    // value of every non-empty coupon code
    bool ranges = true;                      // false: files are served whole, whatever the Range
    std::function<void(const std::string&)> log; // one JSON line per request
};

struct Request {
    std::string path;
    std::map<std::string, std::string> query; // decoded values
    std::string rawQuery;                     // as it came on the wire
    std::string range;                        // the Range header, "" without one
    int status = 0;
};

class VendorService {
public:
    explicit VendorService(Options options);
    ~VendorService();
    VendorService(const VendorService&) = delete;
    VendorService& operator=(const VendorService&) = delete;

    // Starts listening on a background thread; false when the port is taken.
    bool start();
    void stop();
    int port() const;
    std::string baseUrl() const; // "http://host:port"

    // PATH is an endpoint ("/api/price_plan") or a served file ("/files/package.zip").
    void setFault(const std::string& path, Fault fault);
    void clearFaults();
    std::vector<Request> requests() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace vendor
