// How an install ended. An automatic install ("/autoinst", "/autostart")
// ends the process with this as its exit code, so that whoever deploys it
// silently can tell the outcomes apart; an interactive run always ends with 0.
#pragma once

enum class InstallResult : int {
    // Installed, and the product was started.
    Installed = 0,
    // The service answered without a package link and no retry brought one.
    NoPackageLink = 2,
    // Less than 100 MB free on the target drive.
    NoSpace = 3,
    // The package or framework link is an https:// link.
    HttpsRefused = 4,
    // The package is not a readable zip archive.
    BrokenArchive = 5,
    // The package download failed (no link, no connection, an HTTP error).
    DownloadFailed = 6,
    // The installer's own package could not be written to the temporary folder.
    EmbeddedPackageUnwritable = 7,
    // A registry value of the registration could not be written.
    RegistrationFailed = 8,
    // Everything was installed but the product could not be started.
    NotStarted = 9,
    // The start-up refused to run (no or bad configuration, old Windows), or
    // the window closed before the install ran.
    NotRun = 10,
    // The package failed the check against the vendor key the build carries
    // (unsigned, signed by another key, or changed): nothing was extracted.
    PackageNotTrusted = 11,
};
