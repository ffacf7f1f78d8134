// The demo installer as a program of its own against the reference vendor
// service on the demo build's vendor host.
#include "mkpackage/Signing.h"
#include "system/Authenticode.h"
#include "system/Encoding.h"
#include "system/Handles.h"
#include "system/MyCommonFuns.h"
#include "system/Process.h"
#include "system/Registry.h"
#include "tests/e2e/DemoRun.h"
#include "tests/support/Helper.h"
#include "tests/support/LoopbackProxy.h"
#include "tests/support/ProxySettingsOverride.h"
#include "tests/support/ShellFolderRedirect.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <wincrypt.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// Signed by this build folder's test certificate, the one the demo pins.
bool isSignatureTrusted(const std::wstring& file, LONG& status)
{
    std::vector<CertificateDigest> pinned;
    return parseCertificateDigests(readFile(getExeDir() + L"..\\test-signing\\framework-signers.txt"), pinned) &&
           isSignerPinned(file, pinned, status);
}

namespace fs = std::filesystem;
using namespace demo;

// The name the system reads from a program's Authenticode signature (the
// signer certificate's common name, as UAC shows it); "" when unsigned.
std::wstring signerName(const fs::path& program)
{
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    if (!::CryptQueryObject(CERT_QUERY_OBJECT_FILE, program.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                            CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &store, &message, nullptr))
        return {};
    std::wstring name;
    DWORD size = 0;
    ::CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size);
    std::vector<BYTE> signer(size);
    if (size && ::CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, signer.data(), &size)) {
        PCCERT_CONTEXT cert = ::CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                           CERT_FIND_SUBJECT_CERT, signer.data(), nullptr);
        if (cert) {
            wchar_t text[256] = {};
            ::CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, text, 256);
            name = text;
            ::CertFreeCertificateContext(cert);
        }
    }
    ::CryptMsgClose(message);
    ::CertCloseStore(store, 0);
    return name;
}

class DemoInstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        removeTraces();
        fs::create_directories(home_ / L"desktop");
        fs::create_directories(home_ / L"programs");
    }
    void TearDown() override
    {
        endStartedProduct();
        removeTraces();
    }

    // The demo installer copied under NAME into the test's folder.
    fs::path installer(const std::wstring& name, const wchar_t* built = L"setup.exe")
    {
        const fs::path copy = home_ / name;
        EXPECT_TRUE(copyFileOverwrite(getExeDir() + built, copy.wstring()));
        return copy;
    }

    // The service on the demo build's vendor host, told to hand out LINK as
    // the package link.
    std::unique_ptr<vendor::VendorService> serviceLinking(const std::string& link)
    {
        vendor::Options options = serviceOptions();
        options.packageUrl = link;
        auto service = std::make_unique<vendor::VendorService>(options);
        return service->start() ? std::move(service) : nullptr;
    }

    static void expectNothingInstalled()
    {
        EXPECT_TRUE(readInstalledVersion(kSoftId).empty());
        EXPECT_FALSE(fs::exists(installDir() / kProgram));
        EXPECT_EQ(waitForStarts(0), 0);
    }

    // The switch that writes the log into the test's folder.
    std::wstring logSwitch() const { return L"\"/log=" + log_.wstring() + L"\""; }
    // The log, with each of TEXTS in it.
    void expectLogged(std::initializer_list<std::string> texts) const
    {
        const std::string log = readFile(log_);
        for (const std::string& text : texts)
            EXPECT_NE(log.find(text), std::string::npos) << text << " is not in:\n" << log;
        // The device code and the product id go with every request's query.
        EXPECT_EQ(log.find("device_code"), std::string::npos) << log;
    }

    TempDir home_;
    fs::path log_ = home_ / L"install.log";
    ShellFolderRedirect desktop_{L"Desktop", (home_ / L"desktop").wstring()};
    ShellFolderRedirect programs_{L"Programs", (home_ / L"programs").wstring()};
};

TEST_F(DemoInstallTest, SilentInstallFromTheReferenceServiceEndsWithZero)
{
    const auto service = startService();
    if (!service)
        GTEST_SKIP() << "port " << kServicePort << " is taken";

    // A browser's copy suffix: the source is "demo " with its trailing space.
    const fs::path setup = installer(L"setup_demo (1).exe");
    // The product's own file beside the installer goes with it.
    writeFile(home_ / L"config.dat", "vendor data");
    // A program where an unquoted path with a space would find one first.
    const fs::path decoy = installDir().parent_path() / L"Velmora.exe";
    ASSERT_TRUE(copyFileOverwrite(getExeDir() + L"mark_helper.exe", decoy.wstring()));
    // Planted by the user before the elevated install: a read-only
    // uninstaller, and the data file as a second name of a file elsewhere.
    writeFile(installDir() / L"unin.exe", "planted");
    ::SetFileAttributesW((installDir() / L"unin.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    writeFile(home_ / L"elsewhere.txt", "keep me");
    ASSERT_TRUE(::CreateHardLinkW((installDir() / L"config.dat").c_str(), (home_ / L"elsewhere.txt").c_str(), nullptr));
    const RunResult run = runAnsweringBoxes(setup, L"/autoinst /log");
    killProcessByName(decoy.filename().wstring());
    std::error_code busy;
    for (int i = 0; i < 300 && !fs::remove(decoy, busy) && busy; ++i)
        ::Sleep(100);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(run.exitCode, 0u);

    EXPECT_TRUE(fs::exists(installDir() / kProgram));
    EXPECT_EQ(readFile(installDir() / L"unin.exe"), readFile(setup));
    EXPECT_EQ(readFile(installDir() / L"config.dat"), "vendor data");
    EXPECT_EQ(readFile(home_ / L"elsewhere.txt"), "keep me");
    EXPECT_EQ(readFile(registeredUninstaller()), readFile(setup));
    EXPECT_TRUE(fs::exists(home_ / L"desktop" / kShortcut));
    EXPECT_TRUE(fs::exists(home_ / L"programs" / kProductDir / kShortcut));
    EXPECT_EQ(readInstalledVersion(kSoftId), L"2.0.1.0");
    EXPECT_EQ(entryValue(L"Publisher"), L"velmora software");
    EXPECT_EQ(entryValue(L"UninstallString"), L"\"" + registeredUninstaller().wstring() + L"\"");
    EXPECT_EQ(entryValue(L"DisplayName"), L"Velmora Notes");
    const std::wstring program = L"\"" + (installDir() / kProgram).wstring() + L"\"";
    EXPECT_EQ(entryValue(L"DisplayIcon"), program);
    EXPECT_EQ(entryValue(L"ExePath"), program);
    EXPECT_EQ(regReadString(HKEY_CLASSES_ROOT, L".vnote", L""), L"vnoteFile");
    EXPECT_EQ(regReadString(HKEY_CLASSES_ROOT, L".vnotes", L""), L"vnotesFile");
    EXPECT_EQ(regReadString(HKEY_CLASSES_ROOT, L"velnotes", L""), L"URL:Velmora Notes Protocol");
    EXPECT_EQ(waitForStarts(1), 1) << "the product was started";

    const std::vector<std::string> expected{"/api/report/preinstall", "/api/config/soft_down", "/api/report/install",
                                            "/files/package.zip"};
    EXPECT_EQ(productRequests(*service), expected);
    std::string installQuery;
    for (const auto& request : service->requests())
        if (request.path == "/api/report/install")
            installQuery = request.rawQuery;
    EXPECT_NE(installQuery.find("curr_ver=2.0.1.0&"), std::string::npos) << installQuery;
    EXPECT_NE(installQuery.find("source=demo%20&"), std::string::npos) << installQuery;
    const std::string guid = win::toUtf8(regReadString(HKEY_CURRENT_USER, L"SOFTWARE\\velnotes_win", L"guid"));
    EXPECT_NE(installQuery.find("device_code=" + guid), std::string::npos) << installQuery;

    // "/log" writes into the temporary folder, named after the product.
    const std::string log = readFile(defaultLog());
    const std::string packageSize =
        "package: " + std::to_string(fs::file_size(serviceOptions().contentDir / L"package.zip")) + " bytes";
    for (const std::string& text : {std::string("silent automatic install"), std::string("step: registering the product"),
                                    std::string("request: GET http://127.0.0.1:8765/files/package.zip -> 200"),
                                    packageSize, std::string("outcome: installed, the product was started"),
                                    std::string("exit code: 0")})
        EXPECT_NE(log.find(text), std::string::npos) << text << " is not in:\n" << log;
    EXPECT_EQ(log.find(guid), std::string::npos) << "no query values";
}

TEST_F(DemoInstallTest, SilentFailuresEndOnTheirOwnWithTheirCodeAndTheLogSaysWhy)
{
    const auto service = startService();
    if (!service)
        GTEST_SKIP() << "port " << kServicePort << " is taken";
    // The demo build carries a key: what is no signed package fails its
    // signature check before anything reads it as an archive.
    const struct {
        const char* path;
        const char* fault;
        DWORD exitCode;
        const char* why;
    } cases[] = {
        {"/api/config/soft_down", "refuse:3", 6, "no download information: refused with code 3"},
        {"/api/config/soft_down", "garbage", 6, "no download information: an answer that is not the service's JSON"},
        {"/files/package.zip", "404", 6, "package download: download ended with 404"},
        {"/files/package.zip", "garbage", 11, "error (package): the vendor's signature check"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.fault);
        vendor::Fault fault;
        ASSERT_TRUE(vendor::Fault::parse(c.fault, fault));
        service->clearFaults();
        service->setFault(c.path, fault);

        const RunResult run = runAnsweringBoxes(installer(L"setup_demo.exe"), L"/autoinst " + logSwitch());
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.boxes.empty()) << "nothing waits for a person";
        expectLogged({c.why, "message: ", "exit code: " + std::to_string(c.exitCode)});
        expectNothingInstalled();
    }

    // Nobody answers at all.
    service->stop();
    const RunResult run = runAnsweringBoxes(installer(L"setup_demo.exe"), L"/autoinst " + logSwitch());
    EXPECT_EQ(run.exitCode, 6u);
    EXPECT_TRUE(run.boxes.empty());
    expectLogged({"request: GET http://127.0.0.1:8765/api/config/soft_down?<hidden> -> failed (",
                  "no download information: no answer", "exit code: 6"});
}

TEST_F(DemoInstallTest, SkippedPackageFilesEndWithTheirCodeAndAreListed)
{
    const auto service = startService();
    if (!service)
        GTEST_SKIP() << "port " << kServicePort << " is taken";
    // A folder of a packaged file's name keeps its place.
    fs::create_directories(installDir() / L"readme.txt");

    const RunResult run = runAnsweringBoxes(installer(L"setup_demo.exe"), L"/autoinst " + logSwitch());
    EXPECT_EQ(run.exitCode, 12u);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(readInstalledVersion(kSoftId), L"2.0.1.0") << "registered all the same";
    EXPECT_EQ(waitForStarts(1), 1);
    expectLogged({"1 package entries missing", "missing: readme.txt (cannot be written", "exit code: 12"});
}

// What an unelevated process of the user plants in the install folder before
// an elevated install: read-only and hidden copies of the product's files and
// of its after-install script. None of their bytes are kept or run.
TEST_F(DemoInstallTest, PlantedFilesAreReplacedAndNoneOfTheirBytesRun)
{
    const auto service = startService();
    if (!service)
        GTEST_SKIP() << "port " << kServicePort << " is taken";
    const fs::path script = installDir() / L"after-install.bat";
    const fs::path mark = installDir() / L"after-install.mark";
    // The mark helper, started as the product, would leave a mark beside it.
    const fs::path product = installDir() / kProgram;
    fs::create_directories(installDir());
    ASSERT_TRUE(copyFileOverwrite(getExeDir() + L"mark_helper.exe", product.wstring()));
    writeFile(script, "@echo planted>>\"%~dp0after-install.mark\"\r\n");
    writeFile(installDir() / L"readme.txt", "planted");
    for (const fs::path& file : {product, script, installDir() / L"readme.txt"})
        ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

    const RunResult run = runAnsweringBoxes(installer(L"setup_demo.exe"), L"/autoinst " + logSwitch());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(waitForStarts(1), 1) << "the package's product was started";
    ASSERT_TRUE(waitForFile(mark));
    EXPECT_TRUE(waitUntil([] { return !findProcessByName(L"cmd.exe"); })) << "the script has ended";

    // What the demo build packed.
    const fs::path package = fs::path(L"Z:" + std::wstring(DEMO_SERVICE_DIR_W)).parent_path() / L"package";
    for (const wchar_t* name : {kProgram, L"after-install.bat", L"readme.txt"})
        EXPECT_TRUE(readFile(installDir() / name) == readFile(package / name)) << name;
    EXPECT_FALSE(fs::exists(fs::path(product.wstring() + L".mark"))) << "the planted program never ran";
    EXPECT_EQ(readFile(mark), "package\r\n") << "only the package's script ran";
}

TEST_F(DemoInstallTest, VisibleInstallFetchesAndStartsTheMissingFramework)
{
    DotNetProblem problem;
    std::wstring error;
    if (isDotNetInstalled(L"4", problem, error))
        GTEST_SKIP() << "this Wine prefix has the framework";
    const fs::path record = getTempDir() + L"demo-framework-setup.log";
    std::error_code ignored;
    fs::remove(record, ignored);
    const auto service = startService();
    if (!service)
        GTEST_SKIP() << "port " << kServicePort << " is taken";

    const RunResult run = runAnsweringBoxes(installer(L"setup_demo.exe"), L"/autostart");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.boxes.size(), 1u) << "the notice before the framework installer starts";
    // The stand-in framework installer records its start.
    for (int i = 0; i < 300 && !fs::exists(record); ++i)
        ::Sleep(100);
    EXPECT_NE(readFile(record).find("DotNetFramework.exe"), std::string::npos);
    EXPECT_EQ(readInstalledVersion(kSoftId), L"2.0.1.0");
    EXPECT_EQ(waitForStarts(1), 1);
    const std::vector<std::string> expected{"/api/report/preinstall", "/api/config/soft_down", "/api/report/install",
                                            "/files/DotNetFramework.exe", "/files/package.zip"};
    EXPECT_EQ(productRequests(*service), expected);
    fs::remove(record, ignored);
}

TEST_F(DemoInstallTest, OfflineInstallerInstallsWithTheServiceDown)
{
    // Nothing may answer on the vendor host: the service taken up here is
    // stopped again at once.
    if (!startService())
        GTEST_SKIP() << "port " << kServicePort << " is taken";

    const RunResult run = runAnsweringBoxes(installer(L"setup_demo.exe", L"setup_offline.exe"), L"/autoinst");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_TRUE(fs::exists(installDir() / kProgram));
    EXPECT_TRUE(fs::exists(installDir() / L"unin.exe"));
    EXPECT_EQ(entryValue(L"UninstallString"), L"\"" + registeredUninstaller().wstring() + L"\"");
    // No version came from the service, so the entry names none.
    win::RegKey entry;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallEntryPath(kSoftId).c_str(), 0,
                              KEY_READ | kUninstallEntryView, entry.put()),
              ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(::RegGetValueW(entry.get(), nullptr, L"DisplayVersion", RRF_RT_ANY, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(waitForStarts(1), 1);
}

TEST_F(DemoInstallTest, PackageWithOneChangedByteIsRefusedWithItsOwnCode)
{
    // The signed demo package with one byte changed on its way.
    const TempDir content;
    for (const wchar_t* name : {L"package.zip", L"DotNetFramework.exe", L"qr.png"})
        fs::copy_file(serviceOptions().contentDir / name, content / name);
    std::string package = readFile(content / L"package.zip");
    package[package.size() / 2] ^= 0x20;
    writeFile(content / L"package.zip", package);
    vendor::Options options = serviceOptions();
    options.contentDir = content.path();
    vendor::VendorService service(options);
    if (!service.start())
        GTEST_SKIP() << "port " << kServicePort << " is taken";

    const RunResult run = runAnsweringBoxes(installer(L"setup_demo.exe"), L"/autoinst " + logSwitch());
    EXPECT_EQ(run.exitCode, 11u);
    EXPECT_TRUE(run.boxes.empty());
    expectLogged({"error (package): the vendor's signature check", "exit code: 11"});
    expectNothingInstalled();
    EXPECT_TRUE(!fs::exists(installDir()) || fs::is_empty(installDir())) << "nothing was extracted";
    EXPECT_EQ(productRequests(service).back(), "/files/package.zip");
}

// The demo package signed again with the demo key for another product, for a
// version below the demo folder's floor (2.0.0.0) and in format 1, which the
// demo folder does not accept: each refused with 11 and a line of its own.
// Installed at 2.0.1.1, a package of 2.0.0.5 is refused as a downgrade.
TEST_F(DemoInstallTest, PackageOfAnotherProductOrAnOlderVersionIsRefusedWithItsOwnLine)
{
    const TempDir content;
    for (const wchar_t* name : {L"package.zip", L"DotNetFramework.exe", L"qr.png"})
        fs::copy_file(serviceOptions().contentDir / name, content / name);
    const std::string demoPackage = readFile(content / L"package.zip");
    const auto signFor = [&](const char* softId, const char* version) {
        writeFile(content / L"package.zip", demoPackage);
        signing::Binding binding{signing::appIdOf(softId ? softId : ""), {}};
        std::string error;
        EXPECT_TRUE(signing::parseVersion(version, binding.version));
        EXPECT_TRUE(signPackage((content / L"package.zip").wstring(), L"Z:" DEMO_SIGNING_KEY_W,
                                softId ? &binding : nullptr, error))
            << error;
    };
    vendor::Options options = serviceOptions();
    options.contentDir = content.path();
    vendor::VendorService service(options);
    if (!service.start())
        GTEST_SKIP() << "port " << kServicePort << " is taken";

    const struct {
        const char* softId;
        const char* version;
        const char* line;
    } refused[] = {
        {"ravelnotes_win", "2.0.1.0", "signed by the vendor for another product"},
        {"velnotes_win", "1.99.0.0", "older than the oldest this installer accepts, 2.0.0.0"},
        {nullptr, "0", "signed in format 1"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.line);
        signFor(c.softId, c.version);
        const RunResult run = runAnsweringBoxes(installer(L"setup_demo.exe"), L"/autoinst " + logSwitch());
        EXPECT_EQ(run.exitCode, 11u);
        expectLogged({c.line, "exit code: 11"});
        expectNothingInstalled();
    }

    signFor("velnotes_win", "2.0.1.1");
    RunResult run = runAnsweringBoxes(installer(L"setup_demo.exe"), L"/autoinst " + logSwitch());
    EXPECT_EQ(run.exitCode, 0u);
    expectLogged({"package: signed for version 2.0.1.1", "the service names version 2.0.1.0, the package's"});
    EXPECT_EQ(readInstalledVersion(kSoftId), L"2.0.1.0") << "the service's version is shown";
    endStartedProduct();

    signFor("velnotes_win", "2.0.0.5");
    run = runAnsweringBoxes(installer(L"setup_demo.exe"), L"/autoinst " + logSwitch());
    EXPECT_EQ(run.exitCode, 11u);
    expectLogged({"older than the installed one, 2.0.1.1", "exit code: 11"});
}

// After a cut, an empty whole answer brought no package: a failed download
// (6), not a package that failed its check (11). A part without validator is
// not spliced on: the package is fetched whole and installs.
TEST_F(DemoInstallTest, EmptyAnswerOrPartWithoutValidatorAfterACutIsNeverTakenForTampering)
{
    const std::string half = std::to_string(fs::file_size(serviceOptions().contentDir / L"package.zip") / 2);
    const struct {
        const char* then;
        unsigned exitCode;
        const char* line;
    } cases[] = {
        {"empty", 6u, "the download ended without a byte of the package"},
        {"novalidator", 0u, "/files/package.zip -> 200"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.then);
        vendor::VendorService service(serviceOptions());
        if (!service.start())
            GTEST_SKIP() << "port " << kServicePort << " is taken";
        vendor::Fault fault;
        ASSERT_TRUE(vendor::Fault::parse("drop:" + half + ":1:" + c.then, fault));
        service.setFault("/files/package.zip", fault);
        const RunResult run = runAnsweringBoxes(installer(L"setup_demo.exe"), L"/autoinst " + logSwitch());
        EXPECT_EQ(run.exitCode, c.exitCode);
        expectLogged({c.line});
        endStartedProduct();
        removeTraces();
    }
}

TEST_F(DemoInstallTest, PackageCutAtHalfResumesOrStartsOverAndPassesTheSignatureCheck)
{
    const std::string package = readFile(serviceOptions().contentDir / L"package.zip");
    const std::string half = std::to_string(package.size() / 2);
    // A server that serves ranges sends the rest; one that does not sends it
    // all again, and the check hashes that from the start.
    for (const bool ranges : {true, false}) {
        vendor::Options options = serviceOptions();
        options.ranges = ranges;
        vendor::VendorService service(options);
        if (!service.start())
            GTEST_SKIP() << "port " << kServicePort << " is taken";
        vendor::Fault drop;
        ASSERT_TRUE(vendor::Fault::parse("drop:" + half + ":1", drop));
        service.setFault("/files/package.zip", drop);

        const RunResult run = runAnsweringBoxes(installer(L"setup_demo.exe"), L"/autoinst " + logSwitch());
        // 11 would be a package that failed its signature check.
        EXPECT_EQ(run.exitCode, 0u) << ranges;
        EXPECT_TRUE(fs::exists(installDir() / kProgram));
        std::vector<std::string> asked;
        for (const auto& request : service.requests())
            if (request.path == "/files/package.zip")
                asked.push_back(request.range);
        EXPECT_EQ(asked, (std::vector<std::string>{"", "bytes=" + half + "-"})) << ranges;
        expectLogged({ranges ? "/files/package.zip -> 206" : "/files/package.zip -> 200",
                      "package: " + std::to_string(package.size()) + " bytes", "exit code: 0"});
        endStartedProduct();
        removeTraces();
    }
}

TEST_F(DemoInstallTest, EveryRequestOfAnInstallPassesTheUsersProxy)
{
    const auto service = startService();
    if (!service)
        GTEST_SKIP() << "port " << kServicePort << " is taken";
    const LoopbackProxy proxy;
    const std::string proxyAddress = "127.0.0.1:" + std::to_string(proxy.port());
    // Loopback addresses go direct unless the list says otherwise.
    const ProxySettingsOverride settings(1, win::fromUtf8(proxyAddress), L"<-loopback>");

    const RunResult run = runAnsweringBoxes(installer(L"setup_demo.exe"), L"/autoinst " + logSwitch());
    EXPECT_EQ(run.exitCode, 0u);
    std::vector<std::string> passed;
    for (const std::string& target : proxy.targets()) {
        const std::string origin = service->baseUrl();
        EXPECT_TRUE(target.starts_with(origin)) << target;
        passed.push_back(target.substr(origin.size(), target.find('?') - origin.size()));
    }
    const std::vector<std::string> expected{"/api/report/preinstall", "/api/config/soft_down", "/api/report/install",
                                            "/files/package.zip"};
    EXPECT_EQ(passed, expected);
    EXPECT_EQ(productRequests(*service), expected);
    expectLogged({"/files/package.zip -> 200", "through the proxy " + proxyAddress});
}

// The installers as a vendor's build signs them (here with the build's test
// certificate): trusted as they are, refused with one byte changed, and
// installing and uninstalling as before. The uninstaller is the signed file.
TEST_F(DemoInstallTest, VendorSignedInstallersAreTrustedAndInstall)
{
    const auto service = startService();
    if (!service)
        GTEST_SKIP() << "port " << kServicePort << " is taken";
    const fs::path setup = installer(L"setup.exe", L"setup_signed.exe");
    LONG status = -1;
    EXPECT_TRUE(isSignatureTrusted(setup.wstring(), status)) << status;
    EXPECT_EQ(signerName(setup), L"Installer test code signing (this build only)");
    std::string bytes = readFile(setup);
    bytes[bytes.size() / 2] ^= 1;
    writeFile(home_ / L"changed.exe", bytes);
    EXPECT_FALSE(isSignatureTrusted((home_ / L"changed.exe").wstring(), status));

    EXPECT_EQ(runAnsweringBoxes(setup, L"/autoinst").exitCode, 0u);
    EXPECT_TRUE(isSignatureTrusted((installDir() / L"unin.exe").wstring(), status)) << status;

    // The offline installer, signed from a PKCS#12 file, still finds and
    // checks the package embedded in it.
    const fs::path offline = installer(L"setup_offline.exe", L"setup_offline_signed.exe");
    EXPECT_TRUE(isSignatureTrusted(offline.wstring(), status)) << status;
    EXPECT_EQ(runAnsweringBoxes(offline, L"/autoinst").exitCode, 0u);
    EXPECT_TRUE(fs::exists(installDir() / kProgram));
}

} // namespace
