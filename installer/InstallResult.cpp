#include "installer/InstallResult.h"

bool endsProgram(InstallResult result)
{
    switch (result) {
    case InstallResult::NoPackageLink:
    case InstallResult::NoSpace:
    case InstallResult::DownloadFailed:
    case InstallResult::EmbeddedPackageUnwritable:
        return true;
    default:
        return false;
    }
}

int exitCode(bool automatic, const InstallOutcome& outcome)
{
    if (!automatic)
        return 0;
    switch (outcome.result) {
    case InstallResult::Installed:
        // Missing files come first: they are the likelier reason for a
        // product that did not start, too.
        if (!outcome.skipped.empty())
            return 12;
        return outcome.productStarted ? 0 : 9;
    case InstallResult::NoPackageLink:
        return 2;
    case InstallResult::NoSpace:
        return 3;
    case InstallResult::HttpsRefused:
        return 4;
    case InstallResult::BrokenArchive:
        return 5;
    case InstallResult::DownloadFailed:
        return 6;
    case InstallResult::EmbeddedPackageUnwritable:
        return 7;
    case InstallResult::RegistrationFailed:
        return 8;
    case InstallResult::NotRun:
        return 10;
    case InstallResult::PackageNotTrusted:
        return 11;
    case InstallResult::Unexpected:
        return 13;
    case InstallResult::FileNotReplaced:
        return 14;
    case InstallResult::LinkedInstallFolder:
        return 15;
    }
    return 13;
}

int uninstallExitCode(bool silent, UninstallResult result)
{
    if (!silent)
        return 0;
    // The numbers the install uses for the same outcomes: 1 (the window),
    // 10 and 13.
    switch (result) {
    case UninstallResult::Removed:
        return 0;
    case UninstallResult::FilesRemain:
        return 2;
    case UninstallResult::EntryRemains:
        return 3;
    case UninstallResult::WrongFolder:
        return 4;
    case UninstallResult::NotRun:
        return 10;
    case UninstallResult::Unexpected:
        return 13;
    }
    return 13;
}
