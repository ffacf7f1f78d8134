// The program's start-up, before any window exists: the mode and the
// switches, decided once; the configuration with its stored distribution
// source; whom the sequences tell; the vendor-service client; the refusals;
// the default installation folder and the pre-install report; the end of a
// running copy of the product. What it leaves is the run that the main
// window shows and hosts.
#pragma once

#include "config/ConfigFile.h"
#include "installer/CommandLine.h"
#include "installer/InstallResult.h"
#include "installer/LogObserver.h"

#include <memory>
#include <string>
#include <vector>

// What a start-up is given by the system.
struct StartInputs {
    // The program's own file name, without its folder: it decides the mode.
    std::wstring exeFileName;
    // The arguments after the program's name.
    std::vector<std::wstring> args;
    // The embedded configuration text; empty when there is none.
    std::wstring configText;
    bool vistaOrLater = true;
};

// The running program's inputs.
StartInputs programStartInputs();

// One run of the program, as the start-up leaves it.
class RunContext {
public:
    RunContext() = default;
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    bool installMode() const { return installMode_; }
    // Nobody watches: no window and no box.
    bool silent() const { return automatic_ == CommandLine::Automatic::Silent || silentUninstall(); }
    // "/autoinst": the install runs hidden and skips the framework check.
    bool silentInstall() const { return automatic_ == CommandLine::Automatic::Silent; }
    // Either automatic-install switch.
    bool automaticInstall() const { return installMode_ && automatic_ != CommandLine::Automatic::None; }
    bool silentUninstall() const { return automatic_ == CommandLine::Automatic::SilentUninstall; }
    // The timer runs the sequence without a click.
    bool runsAutomatically() const { return automatic_ != CommandLine::Automatic::None; }

    // The configuration; null when there was none usable.
    TConfigFile* config() const { return config_.get(); }
    // The default installation folder, made at start-up; empty when the user
    // has no local application-data folder (or in uninstall mode).
    const std::wstring& defaultFolder() const { return defaultFolder_; }

    // Whom the sequences tell: the person's observer, through the log when
    // there is one.
    SequenceObserver& observer() const;

    // How the run ended; written by whoever ran the sequence.
    InstallOutcome installOutcome;
    UninstallResult uninstallResult = UninstallResult::NotRun;

    // The process exit code: the install's after an automatic install, the
    // removal's after a silent uninstall, 0 for an interactive run.
    int exitCode() const;
    // The end of the run: the queued reports get their time to go out, then
    // the log gets the exit code as its last line.
    void finish();

private:
    friend class StartUp;

    bool installMode_ = true;
    CommandLine::Automatic automatic_ = CommandLine::Automatic::None;
    std::unique_ptr<TConfigFile> config_;
    std::wstring defaultFolder_;
    std::unique_ptr<SequenceObserver> silentObserver_;
    SequenceObserver* person_ = nullptr;
    std::unique_ptr<LogObserver> log_;
};

class StartUp {
public:
    // Decides the mode from the file name and reads the switches. INTERACTIVE
    // faces the person when the run is not silent (the main window's
    // observer); it must outlive the run.
    StartUp(StartInputs inputs, SequenceObserver& interactive);

    // The rest of the start-up. False when the start was refused: the reason
    // has been told and the program is to end without its window.
    bool run();

    RunContext& context() { return run_; }

private:
    void setUpObservers();
    // Tells why the start was refused; false, for run() to return.
    bool refuse(const std::wstring& text);
    void prepareInstallFolder();

    StartInputs inputs_;
    SequenceObserver& interactive_;
    CommandLine commandLine_;
    RunContext run_;
};
