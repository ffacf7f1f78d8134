#include "VendorService.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <fstream>
#include <mutex>
#include <thread>

namespace vendor {
namespace {

using Json = nlohmann::json;

constexpr char kSoftDown[] = "/api/config/soft_down";
constexpr char kReportPreInstall[] = "/api/report/preinstall";
constexpr char kReportInstall[] = "/api/report/install";
constexpr char kReportUninstall[] = "/api/report/uninstall";
constexpr char kCouponDetail[] = "/api/coupon-detail";
constexpr char kPricePlan[] = "/api/price_plan";
constexpr char kPayQr[] = "/api/notlogin-pay-qr";
constexpr char kWebPage[] = "/t.php";
// The free-membership page of the documentation site, shown in the
// uninstaller's offer window after the offer was declined.
constexpr char kFreeMemberPage[] = "/docs/freemember";
constexpr char kFreeMemberHtml[] =
    "<!doctype html><meta charset=utf-8><title>免费领取会员</title>"
    "<body style=\"font-family:'Microsoft YaHei';margin:40px;color:#333\">"
    "<h1 style=\"color:#4D88F7\">免费领取一个月会员</h1>"
    "<p>按以下步骤操作，即可免费获得一个月会员，无需付款：</p>"
    "<ol><li>按页面提示安装推荐的合作软件；</li>"
    "<li>安装完成后，点击窗口下方的“我已完成安装”；</li>"
    "<li>会员权益将在重新启动软件后自动生效。</li></ol></body>";
constexpr char kFiles[] = "/files/";
constexpr char kFilePattern[] = R"(/files/([A-Za-z0-9._-]+))";
constexpr char kPackageFile[] = "package.zip";
constexpr char kFrameworkFile[] = "DotNetFramework.exe";
constexpr char kQrFile[] = "qr.png";
constexpr char kGarbage[] = "<html>this is not the answer you are looking for";
constexpr char kJsonType[] = "application/json; charset=utf-8";
constexpr char kHtmlType[] = "text/html; charset=utf-8";
constexpr size_t kChunk = 256 * 1024;
constexpr char kETag[] = "ETag";
constexpr char kAcceptRanges[] = "Accept-Ranges";
constexpr char kBytes[] = "bytes";
constexpr char kRange[] = "Range";
constexpr char kIfRange[] = "If-Range";

// The plans the service offers; prices come both as text and as numbers, as
// real services send them.
const Json& pricePlans()
{
    static const Json plans = Json::parse(R"([
        {"plan_name": "\u6708\u5ea6\u4f1a\u5458", "id": 101, "price": "19.9", "validity_type": 1, "device_limit": 1},
        {"plan_name": "\u5e74\u5ea6\u4f1a\u5458", "id": 102, "price": 69.9, "validity_type": 2, "device_limit": 2},
        {"plan_name": "\u6c38\u4e45\u4f1a\u5458", "id": 103, "price": "99.9", "validity_type": 3, "device_limit": 3}
    ])");
    return plans;
}

std::string envelope(const Json& data) { return Json{{"code", 0}, {"data", data}}.dump(); }

std::string timestamp()
{
    const std::time_t now = std::time(nullptr);
    char text[32] = {};
    std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    return text;
}

} // namespace

bool Fault::parse(const std::string& text, Fault& fault)
{
    const size_t colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    const std::string arg = colon == std::string::npos ? "" : text.substr(colon + 1);
    try {
        if (kind == "refuse")
            fault = {Kind::Refuse, arg.empty() ? 1 : std::stoi(arg), 0};
        else if (kind == "garbage")
            fault = {Kind::Garbage, 0, 0};
        else if (kind == "stall")
            fault = {Kind::Stall, 0, arg.empty() ? 600000 : std::stoi(arg)};
        else if (kind == "404")
            fault = {Kind::NotFound, 0, 0};
        else if (kind == "nolength")
            fault = {Kind::NoLength, 0, 0};
        else if (kind == "empty")
            fault = {Kind::Empty, 0, 0};
        else if (kind == "novalidator")
            fault = {Kind::NoValidator, 0, 0};
        else if (kind == "drop" && !arg.empty() && std::stoll(arg) > 0) {
            const size_t count = arg.find(':');
            const size_t then = count == std::string::npos ? count : arg.find(':', count + 1);
            fault = {Kind::Drop, 0, 0, std::stoll(arg.substr(0, count))};
            if (count != std::string::npos && (fault.times = std::stoi(arg.substr(count + 1))) <= 0)
                return false;
            Fault after;
            if (then != std::string::npos && (!parse(arg.substr(then + 1), after) ||
                                              (after.kind != Kind::Empty && after.kind != Kind::NoValidator)))
                return false;
            fault.then = after.kind;
        }
        else if (kind == "none")
            fault = {};
        else
            return false;
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

struct VendorService::Impl {
    Options options;
    httplib::Server server;
    std::thread thread;
    int port = 0;

    mutable std::mutex mutex; // guards everything below; handlers run on pool threads
    std::condition_variable stopping;
    bool stopped = false;
    std::map<std::string, Fault> faults;
    std::vector<Request> requests;

    explicit Impl(Options o) : options(std::move(o)) {}

    std::string base() const { return "http://" + options.host + ":" + std::to_string(port); }

    Fault faultFor(const std::string& path) const
    {
        std::lock_guard lock(mutex);
        const auto it = faults.find(path);
        return it == faults.end() ? Fault{} : it->second;
    }

    // The fault of PATH for one more answer: a drop of the next few answers
    // counts it.
    Fault faultForAnswer(const std::string& path)
    {
        std::lock_guard lock(mutex);
        const auto it = faults.find(path);
        if (it == faults.end())
            return {};
        const Fault fault = it->second;
        if (fault.kind == Fault::Kind::Drop && fault.times > 0 && --it->second.times == 0) {
            if (fault.then == Fault::Kind::None)
                faults.erase(it);
            else
                it->second = {fault.then, 0, 0};
        }
        return fault;
    }

    // Waits MS milliseconds, or less when the service stops.
    void stall(int ms)
    {
        std::unique_lock lock(mutex);
        stopping.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopped; });
    }

    // Applies the path's fault; true when it produced the whole answer.
    bool misbehave(const std::string& path, httplib::Response& res)
    {
        const Fault fault = faultFor(path);
        switch (fault.kind) {
        case Fault::Kind::Refuse:
            res.set_content(Json{{"code", fault.code}, {"msg", "refused"}}.dump(), kJsonType);
            return true;
        case Fault::Kind::Garbage:
            res.set_content(kGarbage, kJsonType);
            return true;
        case Fault::Kind::NotFound:
            res.status = 404;
            return true;
        case Fault::Kind::Stall:
            stall(fault.stallMs);
            return false;
        default:
            return false;
        }
    }

    void answer(const std::string& path, httplib::Response& res, const std::string& body, const char* type)
    {
        if (faultFor(path).kind != Fault::Kind::NoLength) {
            res.set_content(body, type);
            return;
        }
        res.set_chunked_content_provider(type, [body](size_t, httplib::DataSink& sink) {
            sink.write(body.data(), body.size());
            sink.done();
            return true;
        });
    }

    // Files are served with a validator and in ranges, so that a download
    // can resume; "If-Range" naming another version of the file gets all of
    // it, never a piece that would splice two versions together.
    void serveFile(const std::string& name, const httplib::Request& req, httplib::Response& res)
    {
        const std::filesystem::path file = options.contentDir / name;
        std::error_code ec;
        const auto size = std::filesystem::file_size(file, ec);
        const auto modified = std::filesystem::last_write_time(file, ec);
        if (ec) {
            res.status = 404;
            return;
        }
        const std::string etag = "\"" + std::to_string(size) + "-" +
                                 std::to_string(modified.time_since_epoch().count()) + "\"";
        const Fault fault = faultForAnswer(kFiles + name);
        if (fault.kind != Fault::Kind::NoValidator)
            res.set_header(kETag, etag);
        if (options.ranges)
            res.set_header(kAcceptRanges, kBytes);
        if (!options.ranges || fault.kind == Fault::Kind::Empty ||
            (req.has_header(kIfRange) && req.get_header_value(kIfRange) != etag))
            // The library cuts every answer to the request's ranges.
            const_cast<httplib::Request&>(req).ranges.clear();
        if (fault.kind == Fault::Kind::Empty) {
            res.set_content("", "application/octet-stream");
            return;
        }
        auto in = std::make_shared<std::ifstream>(file, std::ios::binary);
        auto sent = std::make_shared<int64_t>(0);
        const bool chunked = fault.kind == Fault::Kind::NoLength;
        auto provide = [in, sent, chunked, dropAfter = fault.kind == Fault::Kind::Drop ? fault.dropAfter : 0](
                           size_t offset, httplib::DataSink& sink) {
            if (dropAfter > 0 && *sent >= dropAfter)
                return false; // the connection is cut
            size_t want = kChunk;
            if (dropAfter > 0)
                want = std::min<size_t>(want, static_cast<size_t>(dropAfter - *sent));
            std::vector<char> buffer(want);
            in->seekg(static_cast<std::streamoff>(offset));
            in->read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            const auto n = static_cast<size_t>(in->gcount());
            if (n == 0) {
                // An answer of announced length whose file became shorter
                // meanwhile is cut.
                if (chunked)
                    sink.done();
                return chunked;
            }
            *sent += static_cast<int64_t>(n);
            return sink.write(buffer.data(), n);
        };
        if (chunked) {
            res.set_chunked_content_provider("application/octet-stream", provide);
        } else {
            res.set_content_provider(static_cast<size_t>(size), "application/octet-stream",
                                     [provide](size_t offset, size_t, httplib::DataSink& sink) {
                                         return provide(offset, sink);
                                     });
        }
    }

    void route(const char* path, std::function<std::string(const httplib::Request&)> body)
    {
        server.Get(path, [this, path, body](const httplib::Request& req, httplib::Response& res) {
            if (!misbehave(path, res))
                answer(path, res, body(req), kJsonType);
        });
    }

    void record(const httplib::Request& req, const httplib::Response& res)
    {
        Request entry;
        entry.path = req.path;
        for (const auto& [key, value] : req.params)
            entry.query[key] = value;
        const size_t mark = req.target.find('?');
        entry.rawQuery = mark == std::string::npos ? "" : req.target.substr(mark + 1);
        entry.range = req.get_header_value(kRange);
        entry.status = res.status;
        if (options.log)
            options.log(Json{{"time", timestamp()}, {"path", entry.path}, {"query", entry.query},
                             {"status", entry.status}}
                            .dump());
        std::lock_guard lock(mutex);
        requests.push_back(std::move(entry));
    }

    void setUpRoutes()
    {
        route(kSoftDown, [this](const httplib::Request&) {
            return envelope({{"url", options.packageUrl.value_or(base() + kFiles + kPackageFile)},
                             {"ver", options.version},
                             {"framework_url", base() + kFiles + kFrameworkFile}});
        });
        for (const char* report : {kReportPreInstall, kReportInstall, kReportUninstall})
            route(report, [](const httplib::Request&) { return Json{{"code", 0}, {"msg", "ok"}}.dump(); });
        route(kCouponDetail, [this](const httplib::Request& req) {
            const bool known = !req.get_param_value("code").empty();
            return envelope({{"status", known ? 1 : 0}, {"price", known ? options.couponPrice : 0}});
        });
        route(kPricePlan, [](const httplib::Request&) { return envelope(pricePlans()); });
        route(kPayQr, [this](const httplib::Request&) { return envelope({{"url", base() + kFiles + kQrFile}}); });
        server.Get(kWebPage, [this](const httplib::Request& req, httplib::Response& res) {
            if (misbehave(kWebPage, res))
                return;
            const std::string act = req.get_param_value("act"), name = req.get_param_value("name");
            answer(kWebPage, res,
                   "<!doctype html><meta charset=utf-8><title>" + act + "</title><h1>" + act + "</h1><p>" + name +
                       "</p>",
                   kHtmlType);
        });
        server.Get(kFreeMemberPage, [this](const httplib::Request&, httplib::Response& res) {
            if (!misbehave(kFreeMemberPage, res))
                answer(kFreeMemberPage, res, kFreeMemberHtml, kHtmlType);
        });
        server.Get(kFilePattern, [this](const httplib::Request& req, httplib::Response& res) {
            const std::string name = req.matches[1];
            if (!misbehave(kFiles + name, res))
                serveFile(name, req, res);
        });
        // Recorded before the answer goes out, so that whoever got the answer
        // finds its request among the recorded ones.
        server.set_post_routing_handler(
            [this](const httplib::Request& req, httplib::Response& res) { record(req, res); });
    }
};

VendorService::VendorService(Options options) : impl_(std::make_unique<Impl>(std::move(options)))
{
    impl_->setUpRoutes();
}

VendorService::~VendorService() { stop(); }

bool VendorService::start()
{
    Impl& s = *impl_;
    if (s.options.port == 0) {
        s.port = s.server.bind_to_any_port(s.options.host);
    } else if (s.server.bind_to_port(s.options.host, s.options.port)) {
        s.port = s.options.port;
    }
    if (s.port <= 0)
        return false;
    s.thread = std::thread([&s] { s.server.listen_after_bind(); });
    // The server's stop() ends only a server that is already listening: wait
    // for that, so that stopping right after starting cannot hang.
    for (int i = 0; i < 5000 && !s.server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void VendorService::stop()
{
    Impl& s = *impl_;
    {
        std::lock_guard lock(s.mutex);
        s.stopped = true;
    }
    s.stopping.notify_all();
    s.server.stop();
    if (s.thread.joinable())
        s.thread.join();
}

int VendorService::port() const { return impl_->port; }
std::string VendorService::baseUrl() const { return impl_->base(); }

void VendorService::setFault(const std::string& path, Fault fault)
{
    std::lock_guard lock(impl_->mutex);
    impl_->faults[path] = fault;
}

void VendorService::clearFaults()
{
    std::lock_guard lock(impl_->mutex);
    impl_->faults.clear();
}

std::vector<Request> VendorService::requests() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

} // namespace vendor
