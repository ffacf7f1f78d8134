#include "installer/InstallEngine.h"

#include "config/ConfigJson.h"
#include "installer/InstallDir.h"
#include "system/BoundedJson.h"
#include "system/Encoding.h"
#include "system/MyZip.h"
#include "system/NoFollow.h"
#include "system/PackageCheck.h"
#include "system/Paths.h"
#include "system/PrivateTempDir.h"
#include "system/Process.h"
#include "system/Registration.h"
#include "system/Handles.h"
#include "system/Removal.h"
#include "system/Resource.h"
#include "system/WinError.h"
#include "system/util.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <system_error>

namespace {

using namespace std::chrono_literals;

constexpr wchar_t kInstallFailed[] = L"安装失败，请联系官网客服获取免安装包！";
constexpr wchar_t kNoSpace[] = L"当前分区空间不足，剩余空间小于100M! 请重新选择另一分区安装";
// The package's size and the free space, in whole megabytes, go between.
constexpr wchar_t kPackageNeeds[] = L"当前分区空间不足，安装需要";
constexpr wchar_t kFreeIs[] = L"M，剩余空间";
constexpr wchar_t kChooseAnother[] = L"M! 请重新选择另一分区安装";
constexpr wchar_t kHttpsRefused[] = L"https not supported! ";
constexpr wchar_t kEmbeddedBroken[] = L"资源不存在,安装包已损坏!";
constexpr wchar_t kPackageNotTrusted[] = L"安装包未通过厂商签名校验，可能已被篡改，已停止安装！请联系官网客服获取安装包。";
constexpr wchar_t kFileNotReplaced[] = L"安装目录中已有的文件无法替换，已停止安装！请关闭正在运行的程序后重试。";
constexpr wchar_t kLinkedInstallFolder[] = L"默认安装目录是一个链接，已停止安装！请选择其他安装目录。";
constexpr wchar_t kNoVersionRequired[] = L"DotNet version required";
constexpr wchar_t kVersionNotANumber[] = L"The required .NET Framework version is not a number";
constexpr wchar_t kHttpsMark[] = L"https://";
constexpr wchar_t kPackageResource[] = L"zipfile";
constexpr wchar_t kPackageExtension[] = L".zip";
constexpr int kMinimumFreeMB = 100;
constexpr uint64_t kMegabyte = 1024 * 1024;

// The bar: 0 to 10 while the package information is read, 10 to 90 during
// the download, 70 to 90 during the extraction, then on to 100.
constexpr int kInfoRead = 10;
constexpr int kDownloadStart = 10;
constexpr double kDownloadSpan = 0.8;
constexpr int kExtractionStart = 70;
constexpr double kExtractionSpan = 0.2;
constexpr int kRegistered = 90;
constexpr auto kInfoStep = 10ms;
constexpr auto kFinishStep = 1ms;

constexpr wchar_t kNoDownloadInfo[] = L"the service gave no download information: ";
constexpr wchar_t kDownloadInfo[] = L"the service names the package ";
constexpr wchar_t kVersionIs[] = L", version ";
constexpr wchar_t kFrameworkIs[] = L", framework ";
constexpr wchar_t kTargetDirIs[] = L"installation folder: ";
constexpr wchar_t kFreeSpaceIs[] = L"free space: ";
constexpr wchar_t kMegabytes[] = L" MB";
constexpr wchar_t kFreeSpaceUnknown[] = L"free space: unknown, the check passes";
constexpr wchar_t kPackageDeclares[] = L"the package's entries declare ";
constexpr wchar_t kMoreThanFree[] = L" MB, more than the free space: ";
constexpr wchar_t kFrameworkSkipped[] = L"framework check: skipped in a silent install";
constexpr wchar_t kFrameworkPresent[] = L"framework check: present";
constexpr wchar_t kFrameworkMissing[] = L"framework check: missing, its download window opens";
constexpr wchar_t kEmbeddedPackage[] = L"package: the installer's own, ";
constexpr wchar_t kBytes[] = L" bytes";
constexpr wchar_t kDownloading[] = L"package: downloading ";
constexpr wchar_t kNoLink[] = L"(no link)";
constexpr wchar_t kPackageSize[] = L"package: ";
constexpr wchar_t kBytesIn[] = L" bytes in ";
constexpr wchar_t kSeconds[] = L" s (";
constexpr wchar_t kSpeed[] = L" MB/s)";
constexpr wchar_t kDownloadEnded[] = L"download ended with ";
constexpr wchar_t kWhatService[] = L"download information";
constexpr wchar_t kWhatDownload[] = L"package download";
constexpr wchar_t kWhatEmbedded[] = L"writing the installer's own package to ";
constexpr wchar_t kWhatExtraction[] = L"package extraction";
constexpr wchar_t kWhatReplace[] = L"replacing the file already in the installation folder: ";
constexpr wchar_t kWhatLinkedFolder[] = L"the default installation folder: a link, or it cannot be made: ";
constexpr wchar_t kWhatSignature[] = L"the vendor's signature check";
constexpr wchar_t kNotTrusted[] = L"unsigned, signed by another key, or changed since it was signed";
constexpr wchar_t kOtherProduct[] = L"signed by the vendor for another product (SoftId)";
constexpr wchar_t kFormat1Refused[] =
    L"signed in format 1, which names neither product nor version, and the product folder does not accept it";
constexpr wchar_t kFormat1Accepted[] = L"package: signed in format 1, accepted as the product folder allows";
constexpr wchar_t kSignedVersionIs[] = L"package: signed for version ";
constexpr wchar_t kBelowFloor[] = L"the package's version is older than the oldest this installer accepts, ";
constexpr wchar_t kBelowInstalled[] = L"the package's version is older than the installed one, ";
constexpr wchar_t kVersionDiffers[] = L"the service names version ";
constexpr wchar_t kVersionDiffersEnd[] = L", the package's signature another; the service's is shown and registered";
constexpr wchar_t kBadPolicy[] = L"the product folder's package policy cannot be read: ";
constexpr wchar_t kEmptyDownload[] = L"the download ended without a byte of the package";
constexpr wchar_t kWhatPackageFile[] = L"creating the package file ";
constexpr wchar_t kPolicyResource[] = L"packagepolicy";
constexpr char kPolicyFloor[] = "MinimumVersion";
constexpr char kPolicyDowngrade[] = "AllowDowngrade";
constexpr char kPolicyFormat1[] = "AcceptFormat1";
constexpr wchar_t kWhatFramework[] = L"framework check";
constexpr wchar_t kWhatUnexpected[] = L"install";
constexpr wchar_t kWhatStart[] = L"starting ";

// The product folder's package policy; none at all is the strictest. False,
// with PROBLEM, for a policy that cannot be read: the build is broken, and
// guessing could let through what the vendor meant to keep out.
bool readPackagePolicy(TPackagePolicy& policy, std::wstring& problem)
{
    policy = {};
    if (!ownResourceExists(kPolicyResource, kFileResourceType))
        return true;
    std::wstring text;
    if (!loadResourceText(kPolicyResource, kFileResourceType, true, text)) {
        problem = kBadPolicy;
        return false;
    }
    std::string reason;
    const nlohmann::json json = parseBoundedJson(win::toUtf8(text), &reason);
    if (!json.is_object()) {
        problem = kBadPolicy + win::fromUtf8(reason);
        return false;
    }
    const std::wstring floor = configText(json, kPolicyFloor);
    signing::PackageVersion version{};
    if (!floor.empty() && !signing::parseVersion(win::toUtf8(floor), version)) {
        problem = kBadPolicy + floor;
        return false;
    }
    if (!floor.empty())
        policy.floor = version;
    policy.allowDowngrade = configFlag(json, kPolicyDowngrade);
    policy.acceptFormat1 = configFlag(json, kPolicyFormat1);
    return true;
}

// The signed version of the installed product, else its registered one;
// false when neither reads as a version.
bool installedVersion(const std::wstring& softId, signing::PackageVersion& version)
{
    const std::wstring text = readSignedVersion(softId);
    return !text.empty() && signing::parseVersion(win::toUtf8(text), version);
}

bool hasHttps(const std::wstring& url) { return url.find(kHttpsMark) != std::wstring::npos; }

std::wstring fixed(double value, int decimals)
{
    wchar_t text[64] = {};
    std::swprintf(text, 64, L"%.*f", decimals, value);
    return text;
}

} // namespace

InstallEngine::InstallEngine(TConfigFile& config, TAPI& api, SequenceObserver& observer, InstallHost& host)
    : config_(config), api_(api), observer_(observer), host_(host)
{
}

InstallOutcome InstallEngine::run(bool silentAutoInstall)
{
    silent_ = silentAutoInstall;
    InstallOutcome outcome;
    try {
        outcome.result = install(outcome);
    } catch (const std::exception& e) {
        // What the system's layers throw (the registry helpers, memory).
        outcome.result = stopUnexpectedly(win::fromUtf8(e.what()));
    }
    observer_.outcome(outcome);
    return outcome;
}

// Shown as it is, like any error that reaches the install button.
InstallResult InstallEngine::stopUnexpectedly(const std::wstring& text)
{
    observer_.error({ErrorKind::Unexpected, kWhatUnexpected, 0, text});
    observer_.message({text});
    return InstallResult::Unexpected;
}

// Each step that can end the install has told why and returns false; the
// install ends with the result named beside it, or, for a step that can end
// in more than one way, with the one it gives in FAILURE.
InstallResult InstallEngine::install(InstallOutcome& outcome)
{
    InstallResult failure = InstallResult::Unexpected;
    readPackageInformation();
    if (!askForDownloadInformation())
        return InstallResult::NoPackageLink;
    if (!createTargetDir())
        return InstallResult::LinkedInstallFolder;
    if (!enoughFreeSpace())
        return InstallResult::NoSpace;
    adoptServiceVersion();
    if (!acceptedLink(url_))
        return InstallResult::HttpsRefused;
    if (!checkEnvironment(failure))
        return failure;

    observer_.stage(Stage::Installing);
    const std::wstring archive = privateTempPath(config_.SoftId + kPackageExtension);
    deleteFileForce(archive);
    // One handle from the package's first byte to the end of the
    // extraction, denying other writers: the bytes extracted are the bytes
    // checked, whatever the folder's access list (which Wine ignores).
    const win::FileHandle file = createHeldArchive(archive);
    // Shared with the download worker, which may outlive an install that
    // stops waiting for it.
    const auto check = std::make_shared<TPackageCheck>(config_.SoftId);
    if (!obtainPackage(archive, file.get(), check, failure))
        return failure;
    if (!trusted(*check, failure))
        return failure;
    const THeldArchive held{file.get(), check->size()};
    if (!packageFitsTarget(archive, held))
        return InstallResult::NoSpace;
    observer_.progress(kExtractionStart);
    archive_ = archive;
    held_ = held;
    if (!extractPackage(archive, held, outcome))
        return InstallResult::BrokenArchive;
    if (!everyOldFileReplaced(outcome.skipped))
        return InstallResult::FileNotReplaced;

    observer_.stage(Stage::Registering);
    if (!registerProduct(failure))
        return failure;
    if (!silent_)
        animateProgress(observer_, kRegistered, 100, kFinishStep);
    observer_.progress(100);
    observer_.stage(Stage::Installed);
    outcome.productStarted = startProduct();
    return InstallResult::Installed;
}

void InstallEngine::readPackageInformation()
{
    observer_.stage(Stage::ReadingPackageInfo);
    // The bar's steps are for someone watching it; a silent install has nobody.
    if (silent_)
        observer_.progress(kInfoRead);
    else
        animateProgress(observer_, 0, kInfoRead, kInfoStep);
}

// An answer without a link may be asked for again; no answer at all goes on
// with an empty link, so that an installer carrying its own package still
// installs.
bool InstallEngine::askForDownloadInformation()
{
    observer_.stage(Stage::CheckingOnline);
    if (!api_.GetSoftDownloadInfo(url_, serverVersion_, frameworkUrl_)) {
        observer_.detail(kNoDownloadInfo + api_.lastFailure());
        return true;
    }
    while (url_.empty() && observer_.ask(Question::RetryServiceQuery))
        api_.GetSoftDownloadInfo(url_, serverVersion_, frameworkUrl_);
    observer_.detail(kDownloadInfo + url_ + kVersionIs + serverVersion_ + kFrameworkIs + frameworkUrl_);
    if (!url_.empty())
        return true;
    observer_.error({ErrorKind::Service, kWhatService, 0});
    observer_.message({kInstallFailed});
    openUrl(config_.ProductURL);
    return false;
}

// Taken only now: the user may have chosen another folder while the service
// was asked. A folder the user picked is taken as it is, a link or not; only the free
// space decides. The default one, below the local application-data folder
// that every process of the user can write, may have been made a link to
// another program's folder: each folder from there down is made or opened
// without following a link, refused when it is one, and held.
bool InstallEngine::createTargetDir()
{
    targetDir_ = host_.installFolder();
    observer_.detail(kTargetDirIs + targetDir_);
    program_ = targetDir_ + config_.MainProgPath + config_.MainProg;
    std::wstring folder;
    try {
        folder = getLocalAppDataDir();
    } catch (const std::exception&) {
        // No such folder: the user picked one.
    }
    if (folder.empty() ||
        ::lstrcmpiW(targetDir_.c_str(), joinPath(folder, config_.ProgramDirName).c_str()) != 0) {
        createFolders(targetDir_);
        return true;
    }
    const std::wstring& names = config_.ProgramDirName;
    for (size_t start = 0, end = 0; start < names.size(); start = end + 1) {
        end = std::min(names.find(L'\\', start), names.size());
        if (end == start)
            continue;
        folder = joinPath(folder, names.substr(start, end - start));
        win::FileHandle held = openRealFolder(folder);
        if (!held) {
            observer_.error({ErrorKind::File, kWhatLinkedFolder + folder, ::GetLastError()});
            observer_.message({kLinkedInstallFolder});
            return false;
        }
        heldFolders_.push_back(std::move(held));
    }
    return true;
}

bool InstallEngine::enoughFreeSpace()
{
    int freeMB = 0;
    if (!host_.freeMegabytes(volumeRoot(targetDir_), freeMB)) {
        observer_.detail(kFreeSpaceUnknown);
        return true;
    }
    observer_.detail(kFreeSpaceIs + std::to_wstring(freeMB) + kMegabytes);
    if (freeMB >= kMinimumFreeMB)
        return true;
    observer_.message({kNoSpace});
    return false;
}

// What the package says it holds must fit as well, whatever its file's size.
// A size or free space that cannot be told passes: an archive that cannot be
// read fails at its extraction.
bool InstallEngine::packageFitsTarget(const std::wstring& archive, const THeldArchive& held)
{
    uint64_t declared = 0;
    int freeMB = 0;
    if (!declaredSize(archive, declared, &held) || !host_.freeMegabytes(volumeRoot(targetDir_), freeMB) ||
        declared <= static_cast<uint64_t>(freeMB) * kMegabyte)
        return true;
    const std::wstring needed = std::to_wstring((declared + kMegabyte - 1) / kMegabyte);
    const std::wstring free = std::to_wstring(freeMB);
    observer_.detail(kPackageDeclares + needed + kMoreThanFree + free + kMegabytes);
    observer_.message({kPackageNeeds + needed + kFreeIs + free + kChooseAnother});
    return false;
}

// From here on the version shown and registered is the service's one, also
// when there is none; the install report goes out before anything is fetched.
void InstallEngine::adoptServiceVersion()
{
    config_.Version = serverVersion_;
    api_.ReportInstall();
}

// False, told, for an https link, which the downloads cannot follow.
bool InstallEngine::acceptedLink(const std::wstring& url)
{
    if (!hasHttps(url))
        return true;
    observer_.message({kHttpsRefused + url});
    return false;
}

// The framework check; false when the framework must be fetched over https
// (HttpsRefused) or the configuration's required version is no number
// (Unexpected).
bool InstallEngine::checkEnvironment(InstallResult& failure)
{
    observer_.stage(Stage::CheckingEnvironment);
    if (silent_) {
        config_.DotNetCheck = false;
        observer_.detail(kFrameworkSkipped);
    }
    if (!config_.DotNetCheck)
        return true;
    DotNetProblem problem = DotNetProblem::None;
    std::wstring error;
    if (isDotNetInstalled(config_.DotNetVerRequired, problem, error)) {
        observer_.detail(kFrameworkPresent);
        return true;
    }
    switch (problem) {
    case DotNetProblem::NoVersionRequired:
        observer_.message({kNoVersionRequired, MessageStyle::SystemPlain});
        break;
    case DotNetProblem::VersionNotANumber:
        // A configuration fault, not the machine's: the install stops on it.
        failure = stopUnexpectedly(kVersionNotANumber);
        return false;
    case DotNetProblem::RegistryError:
        observer_.error({ErrorKind::Registry, kWhatFramework, 0, error});
        observer_.message({error, MessageStyle::SystemPlain});
        break;
    case DotNetProblem::None:
        break;
    }
    if (!acceptedLink(frameworkUrl_)) {
        failure = InstallResult::HttpsRefused;
        return false;
    }
    observer_.detail(kFrameworkMissing);
    // The install goes on once the window has closed, while the framework
    // installer runs on its own.
    host_.runFrameworkWindow(frameworkUrl_);
    return true;
}

bool InstallEngine::obtainPackage(const std::wstring& archive, HANDLE file, const std::shared_ptr<TPackageCheck>& check,
                                  InstallResult& failure)
{
    if (resourceExists(kPackageResource, kFileResourceType)) {
        const auto embedded = ownResourceBytes(kPackageResource, kFileResourceType);
        check->update(embedded.data(), embedded.size());
        if (file != INVALID_HANDLE_VALUE && file && writeAllTo(file, embedded.data(), embedded.size())) {
            observer_.detail(kEmbeddedPackage + std::to_wstring(embedded.size()) + kBytes);
            return true;
        }
        observer_.error({ErrorKind::File, kWhatEmbedded + archive, ::GetLastError()});
        observer_.message({kEmbeddedBroken, MessageStyle::SystemInformation});
        failure = InstallResult::EmbeddedPackageUnwritable;
        return false;
    }
    if (!file || file == INVALID_HANDLE_VALUE)
        observer_.error({ErrorKind::File, kWhatPackageFile + archive, ::GetLastError()});
    else if (downloadPackage(archive, file, check))
        return true;
    observer_.message({kInstallFailed});
    openUrl(config_.ProductURL);
    failure = InstallResult::DownloadFailed;
    return false;
}

// The package is checked while it arrives: no second pass over the file.
bool InstallEngine::downloadPackage(const std::wstring& archive, HANDLE file,
                                    const std::shared_ptr<TPackageCheck>& check)
{
    observer_.detail(kDownloading + (url_.empty() ? std::wstring(kNoLink) : url_));
    download_ = Download::Started;
    total_ = received_ = 0;
    shownProgress_ = -1;
    const auto started = std::chrono::steady_clock::now();
    host_.startPackageDownload(url_, archive, file, [check](uint64_t offset, const char* data, size_t size) {
        // A file that starts over starts the check over.
        if (offset == 0)
            check->restart();
        check->update(data, size);
    });
    // The finish notification always comes; a program that is ending stops
    // waiting for it.
    while (download_ != Download::Finished && download_ != Download::Failed && host_.waitForMessage())
        showDownloadProgress();
    if (download_ != Download::Finished)
        return false;
    // An empty answer, also one that came after a broken transfer, brought
    // no package: a failed download, not a package that failed its check.
    if (check->size() == 0) {
        observer_.error({ErrorKind::Download, kWhatDownload, 0, kEmptyDownload});
        return false;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double megabytes = static_cast<double>(received_) / (1024.0 * 1024.0);
    observer_.detail(kPackageSize + std::to_wstring(received_) + kBytesIn + fixed(seconds, 2) + kSeconds +
                     fixed(seconds > 0 ? megabytes / seconds : 0, 1) + kSpeed);
    return true;
}

void InstallEngine::workBegin(int64_t total)
{
    total_ = total;
    download_ = Download::Receiving;
}

void InstallEngine::work(int64_t count) { received_ = count; }

void InstallEngine::workFinish(int64_t responseCode)
{
    const bool ok = downloadSucceeded(responseCode);
    download_ = ok ? Download::Finished : Download::Failed;
    if (!ok)
        observer_.error({ErrorKind::Download, kWhatDownload, 0,
                         kDownloadEnded + std::to_wstring(responseCode)});
}

int downloadBarValue(int64_t received, int64_t total)
{
    if (total <= 0)
        return -1;
    // A server that sends more than it announced does not push the bar on.
    const int64_t percent = std::clamp<int64_t>(received * 100 / total, 0, 100);
    return kDownloadStart + static_cast<int>(kDownloadSpan * static_cast<double>(percent));
}

// Shown from the waiting loop, never from inside a notification, so that the
// observer may let the window handle its messages.
void InstallEngine::showDownloadProgress()
{
    const int value = downloadBarValue(received_, total_);
    if (value < 0 || value == shownProgress_)
        return;
    shownProgress_ = value;
    observer_.progress(value);
}

// Nothing is extracted from a package that is not the vendor's for this
// product, or older than the product folder and the installed version allow.
// False with PackageNotTrusted, or Unexpected for a policy that cannot be
// read.
bool InstallEngine::trusted(TPackageCheck& check, InstallResult& failure)
{
    signedVersion_.clear();
    const bool signedForUs = check.passed();
    if (!check.keyed())
        return true;
    TPackagePolicy policy;
    if (std::wstring problem; !readPackagePolicy(policy, problem)) {
        failure = stopUnexpectedly(problem);
        return false;
    }
    failure = InstallResult::PackageNotTrusted;
    const signing::Verification& verification = check.verification();
    std::wstring refusal;
    if (!signedForUs)
        refusal = verification.verdict == signing::Verdict::OtherProduct ? kOtherProduct : kNotTrusted;
    else if (verification.format == 1 && !policy.acceptFormat1)
        refusal = kFormat1Refused;
    if (refusal.empty() && verification.format == 1) {
        observer_.detail(kFormat1Accepted);
        return true;
    }
    if (refusal.empty() && versionAllowed(verification.binding.version, policy))
        return true;
    if (!refusal.empty())
        observer_.error({ErrorKind::Package, kWhatSignature, 0, refusal});
    observer_.message({kPackageNotTrusted});
    return false;
}

// Logs the refusal itself. The service's version stays the one shown and
// registered; the signed one is registered beside it for the next install.
bool InstallEngine::versionAllowed(const signing::PackageVersion& version, const TPackagePolicy& policy)
{
    const std::wstring text = win::fromUtf8(signing::versionText(version));
    observer_.detail(kSignedVersionIs + text);
    signing::PackageVersion installed{};
    if (policy.floor && version < *policy.floor) {
        observer_.error({ErrorKind::Package, kWhatSignature, 0,
                         kBelowFloor + win::fromUtf8(signing::versionText(*policy.floor))});
        return false;
    }
    if (!policy.allowDowngrade && installedVersion(config_.SoftId, installed) && version < installed) {
        observer_.error({ErrorKind::Package, kWhatSignature, 0,
                         kBelowInstalled + win::fromUtf8(signing::versionText(installed))});
        return false;
    }
    signing::PackageVersion service{};
    if (!signing::parseVersion(win::toUtf8(serverVersion_), service) || service != version)
        observer_.detail(kVersionDiffers + serverVersion_ + kVersionDiffersEnd);
    signedVersion_ = text;
    return true;
}

// HELD: exactly the bytes the signature check covered are read, through the
// handle they came through.
bool InstallEngine::extractPackage(const std::wstring& archive, const THeldArchive& held, InstallOutcome& outcome)
{
    int shown = kExtractionStart;
    try {
        outcome.skipped = unZipFile(archive, targetDir_, kPackagePassword, [&](int percent) {
            const int value = kExtractionStart + static_cast<int>(kExtractionSpan * percent);
            if (value != shown) {
                shown = value;
                observer_.progress(value);
            }
        }, &held);
    } catch (const TZipError& e) {
        observer_.error({ErrorKind::Package, kWhatExtraction, 0, e.message()});
        observer_.message({e.message()});
        return false;
    }
    installedBytes_ = extractedSize(archive, outcome.skipped, &held);
    return true;
}

// A file that was in the folder before and still holds its old bytes would be
// run as the product's (elevated, for the after-install files and the COM
// library): the install stops before anything is registered or started.
bool InstallEngine::everyOldFileReplaced(const std::vector<TSkippedEntry>& skipped)
{
    bool replaced = true;
    for (const TSkippedEntry& entry : skipped) {
        if (entry.reason != TSkipReason::NotReplaced)
            continue;
        observer_.error({ErrorKind::File, kWhatReplace + entry.name, entry.error});
        replaced = false;
    }
    if (!replaced)
        observer_.message({kFileNotReplaced});
    return replaced;
}

// Quoted: unquoted, a path with a space would start "C:\Program.exe" or the
// like first, wherever such a file stands.
bool InstallEngine::startProduct()
{
    if (runAsDesktopUser(L"\"" + program_ + L"\"", false, true, L"", false) != 0)
        return true;
    observer_.error({ErrorKind::Process, kWhatStart + program_, ::GetLastError()});
    return false;
}
