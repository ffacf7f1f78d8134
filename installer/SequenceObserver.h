// What the install and uninstall sequences tell whoever watches them: the
// main window, a log, or nobody at all in a silent install. The sequences
// decide; an observer only shows, writes down or answers.
#pragma once

#include "installer/InstallResult.h"

#include <windows.h>

#include <chrono>
#include <string>
#include <utility>

enum class Stage {
    ReadingPackageInfo,
    CheckingOnline,
    CheckingEnvironment,
    Installing,
    Registering,
    // The product is installed; it is started next.
    Installed,
    Removing,
    Removed,
};

enum class Question {
    // The service answered without a package link: ask it again?
    RetryServiceQuery,
};

// How a person sees a message.
enum class MessageStyle {
    // The program's own notice box.
    Notice,
    // The system's box with the information icon.
    SystemInformation,
    // The system's box with neither icon nor anything but OK.
    SystemPlain,
};

struct Message {
    std::wstring text;
    MessageStyle style = MessageStyle::Notice;
};

enum class ErrorKind { Service, Download, Package, Registry, Shortcut, Process, File, Unexpected };

// Something that failed. The sequence may go on after it; what a person must
// see of it comes as a message of its own.
struct SequenceError {
    SequenceError(ErrorKind kind, std::wstring what, DWORD code = 0, std::wstring detail = {})
        : kind(kind), what(std::move(what)), code(code), detail(std::move(detail))
    {
    }

    ErrorKind kind;
    // What could not be done.
    std::wstring what;
    // The system's error, 0 when there is none.
    DWORD code;
    // The failing code's own text, when it gave one.
    std::wstring detail;
};

class SequenceObserver {
public:
    virtual ~SequenceObserver() = default;

    virtual void stage(Stage stage) = 0;
    // The progress bar's value, 0 to 100.
    virtual void progress(int percent) = 0;
    // A fact worth writing down that nobody needs to see.
    virtual void detail(const std::wstring& text) = 0;
    // The answer to QUESTION.
    virtual bool ask(Question question) = 0;
    virtual void message(const Message& message) = 0;
    virtual void error(const SequenceError& error) = 0;
    // How an install ended.
    virtual void outcome(const InstallOutcome& outcome) = 0;
    // How an uninstall ended.
    virtual void outcome(UninstallResult result) = 0;
};

// Tells the bar FROM, FROM + 1, ..., TO, pausing STEP after each value: the
// pace of the bar's animation, which is the sequence's, not the observer's.
void animateProgress(SequenceObserver& observer, int from, int to, std::chrono::milliseconds step);
