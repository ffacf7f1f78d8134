// vendor_service: the reference vendor service, for demos and for vendors
// trying their setup.
//   vendor_service [--port N] [--content DIR] [--version V] [--log FILE]
//                  [--package-url URL] [--fault PATH=KIND]...
// URL: the package link handed out instead of the served package ("" for
// none). KIND: refuse[:CODE], garbage, stall[:MS], 404, nolength, empty (a
// file answered whole with no bytes), novalidator (a file's answers without
// ETag), drop:BYTES[:TIMES[:THEN]] (each answer's connection, or only the
// next TIMES ones', cut after that many bytes of body; THEN, empty or
// novalidator, the fault of the answers after them). Runs until ended.
#include "VendorService.h"

#include "system/Encoding.h"

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>

namespace {

constexpr char kUsage[] = "usage: vendor_service [--port N] [--content DIR] [--version V] [--log FILE] "
                          "[--package-url URL] "
                          "[--fault PATH=refuse[:CODE]|garbage|stall[:MS]|404|nolength|empty|novalidator|drop:BYTES[:TIMES[:empty|novalidator]]]...\n";

int usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    vendor::Options options;
    options.port = 8765;
    std::vector<std::pair<std::string, vendor::Fault>> faults;
    std::ofstream logFile;
    for (int i = 1; i < argc; ++i) {
        const std::string option = win::toUtf8(argv[i]);
        if (i + 1 >= argc)
            return usage();
        const std::wstring value = argv[++i];
        if (option == "--port") {
            options.port = _wtoi(value.c_str());
        } else if (option == "--content") {
            options.contentDir = value;
        } else if (option == "--version") {
            options.version = win::toUtf8(value);
        } else if (option == "--package-url") {
            options.packageUrl = win::toUtf8(value);
        } else if (option == "--log") {
            logFile.open(std::filesystem::path(value), std::ios::app);
        } else if (option == "--fault") {
            const std::string text = win::toUtf8(value);
            const size_t eq = text.find('=');
            vendor::Fault fault;
            if (eq == std::string::npos || !vendor::Fault::parse(text.substr(eq + 1), fault))
                return usage();
            faults.emplace_back(text.substr(0, eq), fault);
        } else {
            return usage();
        }
    }
    std::mutex logMutex;
    options.log = [&](const std::string& line) {
        std::lock_guard lock(logMutex);
        (logFile.is_open() ? static_cast<std::ostream&>(logFile) : std::cout) << line << std::endl;
    };

    vendor::VendorService service(options);
    for (const auto& [path, fault] : faults)
        service.setFault(path, fault);
    if (!service.start()) {
        std::fprintf(stderr, "vendor_service: cannot listen on port %d\n", options.port);
        return 1;
    }
    std::fprintf(stderr, "vendor_service: listening on %s\n", service.baseUrl().c_str());
    for (;;)
        ::Sleep(INFINITE);
}
