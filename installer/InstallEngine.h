// The install sequence: from the install button (or the automatic-install
// timer) to the started product, step by step, telling an observer what
// happens. It paints nothing and opens no box.
#pragma once

#include "config/ConfigFile.h"
#include "installer/InstallResult.h"
#include "installer/SequenceObserver.h"
#include "net/UDownThread.h"
#include "net/api.h"
#include "system/Handles.h"
#include "system/MyZip.h"
#include "system/PackageCheck.h"
#include "system/util.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the install needs from the program around it.
class InstallHost {
public:
    virtual ~InstallHost() = default;
    // Starts downloading URL into FILE, which INTO holds open (see
    // StartDownload); the download's notifications come back through the
    // engine's workBegin, work and workFinish, on this thread. ONDATA sees
    // every byte of the body on the download's thread.
    virtual void startPackageDownload(const std::wstring& url, const std::wstring& file, HANDLE into,
                                      TOnBodyData onData) = 0;
    // Waits for this thread's next message and handles it; false once the
    // program is ending.
    virtual bool waitForMessage() = 0;
    // The folder to install into, asked for once, when the install reaches
    // its disk check.
    virtual std::wstring installFolder() = 0;
    // Shows the window that downloads and starts the framework installer at
    // URL; returns when it has closed.
    virtual void runFrameworkWindow(const std::wstring& url) = 0;
    // Whole megabytes free on VOLUME ("C:\", "\\server\share\"); false when
    // the system cannot tell.
    virtual bool freeMegabytes(const std::wstring& volume, int& megabytes) { return getDiskFreeMB(volume, megabytes); }
};

// The bar during a download: 10 + T(0.8 × percent received), at most 90; -1
// while no total has been announced (the bar then waits).
int downloadBarValue(int64_t received, int64_t total);

// The password of the package's encrypted entries.
inline constexpr wchar_t kPackagePassword[] = L"402718";

class InstallEngine {
public:
    InstallEngine(TConfigFile& config, TAPI& api, SequenceObserver& observer, InstallHost& host);
    InstallEngine(const InstallEngine&) = delete;
    InstallEngine& operator=(const InstallEngine&) = delete;

    // Installs into the host's folder. SILENTAUTOINSTALL: the silent
    // automatic install, which skips the framework check. The configuration
    // takes the service's version.
    InstallOutcome run(bool silentAutoInstall);

    // The package download's notifications.
    void workBegin(int64_t total);
    void work(int64_t count);
    void workFinish(int64_t responseCode);

private:
    enum class Download { Started, Receiving, Finished, Failed };

    InstallResult install(InstallOutcome& outcome);
    void readPackageInformation();
    bool askForDownloadInformation();
    bool createTargetDir();
    bool enoughFreeSpace();
    bool packageFitsTarget(const std::wstring& archive, const THeldArchive& held);
    void adoptServiceVersion();
    bool refusedAsHttps(const std::wstring& url);
    bool checkEnvironment();
    // The failure, nothing when the package is at ARCHIVE.
    std::optional<InstallResult> obtainPackage(const std::wstring& archive, HANDLE file,
                                               const std::shared_ptr<TPackageCheck>& check);
    bool downloadPackage(const std::wstring& archive, HANDLE file, const std::shared_ptr<TPackageCheck>& check);
    void showDownloadProgress();
    bool trusted(TPackageCheck& check);
    bool versionAllowed(const signing::PackageVersion& version, const TPackagePolicy& policy);
    bool extractPackage(const std::wstring& archive, const THeldArchive& held, InstallOutcome& outcome);
    bool everyOldFileReplaced(const std::vector<TSkippedEntry>& skipped);
    // False with FAILURE the install's result when a step ends it.
    bool registerProduct(InstallResult& failure);
    void registerShortcuts();
    bool copyUninstallerAndData();
    bool registerAssociationsAndProtocol();
    void registerComLibrary();
    void writeUninstallEntryValues();
    void openAfterInstallFiles();
    win::FileHandle holdAsExtracted(const std::wstring& relative, const std::wstring& path);
    bool startProduct();

    TConfigFile& config_;
    TAPI& api_;
    SequenceObserver& observer_;
    InstallHost& host_;
    bool silent_ = false;
    std::wstring targetDir_;
    // The main program.
    std::wstring program_;
    std::wstring url_;
    std::wstring serverVersion_;
    // The version the package's signature names; "" for a package that names
    // none (unsigned build, format 1).
    std::wstring signedVersion_;
    std::wstring frameworkUrl_;
    // The package in the private folder and the handle install() holds it
    // through, at the length its check covered: what the files to run are
    // compared with. Set once the package is trusted.
    std::wstring archive_;
    THeldArchive held_;

    Download download_ = Download::Started;
    // What the package's files take once extracted.
    uint64_t installedBytes_ = 0;
    // Announced size and bytes so far of the running download: 64 bits, so
    // that a package above 2 GB still shows the right progress.
    int64_t total_ = 0;
    int64_t received_ = 0;
    int shownProgress_ = -1;
    // The default installation folder and those on its way, held from the
    // check that none is a link to the end of the install.
    std::vector<win::FileHandle> heldFolders_;
};
