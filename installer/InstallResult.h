// How an install or an uninstall ended, and the exit code that tells it. An
// automatic install ("/autoinst", "/autostart") and a silent uninstall
// ("/autouninst") end the process with that code, so that whoever deploys or
// removes the product silently can tell the outcomes apart; an interactive
// run always ends with 0.
#pragma once

#include "system/MyZip.h"

#include <vector>

enum class InstallResult {
    // Everything was done; the product's start and the package's skipped
    // entries are in the outcome.
    Installed,
    // The service answered without a package link and no retry brought one.
    NoPackageLink,
    // Less than 100 MB free on the target drive, or less than the package's
    // entries declare.
    NoSpace,
    // The package or framework link is an https:// link.
    HttpsRefused,
    // The package is not a readable zip archive.
    BrokenArchive,
    // The package download failed (no link, no connection, an HTTP error).
    DownloadFailed,
    // The installer's own package could not be written to the temporary folder.
    EmbeddedPackageUnwritable,
    // A registry value of an association or the URL protocol could not be written.
    RegistrationFailed,
    // The start-up refused to run (no or bad configuration, old Windows), or
    // the window closed before the install ran.
    NotRun,
    // The package failed the check against the vendor key the build carries
    // (unsigned, signed by another key, or changed): nothing was extracted.
    PackageNotTrusted,
    // A file already in the installation folder could not be replaced by the
    // package's or the installer's own: nothing of it is run.
    FileNotReplaced,
    // Something the install does not expect stopped it (the log has its text).
    Unexpected,
    // The default installation folder, or a folder on its way below the local
    // application-data folder, is a junction or symbolic link: nothing was
    // written.
    LinkedInstallFolder,
};

struct InstallOutcome {
    InstallResult result = InstallResult::NotRun;
    bool productStarted = false;
    // The package's entries that were not extracted.
    std::vector<TSkippedEntry> skipped;
};

// Whether the program ends after this result (the install "quits"), rather
// than staying on its progress page.
bool endsProgram(InstallResult result);

// The process's exit code after an install; AUTOMATIC: started with either
// automatic-install switch.
int exitCode(bool automatic, const InstallOutcome& outcome);

enum class UninstallResult {
    // The start-up refused to run (no or bad configuration), or the window
    // closed before the removal ran.
    NotRun,
    // Everything went but the running uninstaller, which deletes itself
    // once it has ended.
    Removed,
    // Removed, but files or folders of the product stay (in use, or links
    // that the removal does not follow).
    FilesRemain,
    // The uninstall entry could not be deleted: the product still shows in
    // the system's list of programs.
    EntryRemains,
    // The folder the uninstaller was to empty is not the one the uninstall
    // entry names (or there is no entry): nothing was removed.
    WrongFolder,
    // Something the removal does not expect stopped it (the log has its text).
    Unexpected,
};

// The process's exit code after an uninstall; SILENT: started with
// "/autouninst".
int uninstallExitCode(bool silent, UninstallResult result);

// The exit code when the main window cannot even be built.
inline constexpr int kWindowNotBuiltExitCode = 1;
// The exit code of a program that crashed (installer/CrashExit.h).
inline constexpr int kCrashExitCode = 16;
