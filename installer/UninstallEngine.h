// The removal of the installed product behind an animated bar, telling an
// observer what happens. What comes before it (the retention offer of an
// interactive uninstall) is its caller's business.
#pragma once

#include "config/ConfigFile.h"
#include "installer/InstallResult.h"
#include "installer/SequenceObserver.h"
#include "net/api.h"

#include <chrono>
#include <string>

// The page the finished uninstall's exit button opens: the configuration's
// OpenWebsiteAfterUninstall with every "[Version]", in any letter case,
// replaced by the configuration's version, percent-encoded; "" when there is
// none.
std::wstring afterUninstallPage(const TConfigFile& config);

// After a removal that took the entry (RESULT Removed or FilesRemain): the
// running uninstaller deletes itself once it has ended, and the folder of
// the uninstaller that the entry named goes with its copy. While the entry
// stays, so do both, and its commands still work.
void removeUninstallers(const TConfigFile& config, UninstallResult result);

class UninstallEngine {
public:
    // API: the client the removal is reported to; null sends no report.
    UninstallEngine(const TConfigFile& config, TAPI* api, SequenceObserver& observer);
    UninstallEngine(const UninstallEngine&) = delete;
    UninstallEngine& operator=(const UninstallEngine&) = delete;

    // Removes the product from the folder that its uninstall entry names
    // (InstallLocation), when RUNNINGFOLDER, the running uninstaller's, is
    // that folder (which stays, with the uninstaller in it) or the folder of
    // the uninstaller that the entry names (uninstallerFolder). Otherwise, and
    // when there is no entry, nothing is removed: WrongFolder.
    UninstallResult run(const std::wstring& runningFolder);

private:
    UninstallResult removeProduct(const std::wstring& runningFolder);
    // False, told, when RUNNINGFOLDER may not empty the entry's folder.
    bool findProductFolder(const std::wstring& runningFolder);
    void reportUninstall();
    // False when the entry is still there.
    bool deleteEntry();
    void stopProduct();
    void deleteShortcuts();
    // False when files or folders of the product stay.
    bool clearFolders();
    void animate(int from, int to, std::chrono::milliseconds step);

    const TConfigFile& config_;
    TAPI* api_;
    SequenceObserver& observer_;
    std::wstring targetDir_;
};
