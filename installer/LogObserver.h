// The log: writes a line for everything a sequence tells, and for every HTTP
// request of the process, then passes the events on to the observer that
// faces the person (the window, or the silent one), which also answers the
// questions. Query values, user names and passwords of web addresses are left
// out, since they may carry credentials.
#pragma once

#include "installer/LogFile.h"
#include "installer/SequenceObserver.h"

#include <memory>
#include <string>
#include <string_view>

class LogObserver : public SequenceObserver {
public:
    LogObserver(std::shared_ptr<LogFile> log, SequenceObserver& next);
    LogObserver(const LogObserver&) = delete;
    LogObserver& operator=(const LogObserver&) = delete;
    ~LogObserver() override;

    void stage(Stage stage) override;
    void progress(int percent) override;
    void detail(const std::wstring& text) override;
    bool ask(Question question) override;
    void message(const Message& message) override;
    void error(const SequenceError& error) override;
    void outcome(const InstallOutcome& outcome) override;
    void outcome(UninstallResult result) override;

    // The program's last line.
    void exitCode(int code);

    // TEXT with the web addresses in it cut down to scheme, host and path.
    static std::wstring withoutSecrets(std::wstring_view text);

private:
    void write(const std::wstring& text);

    // Shared with the request listener, which a download worker may still be
    // running when this observer goes.
    std::shared_ptr<LogFile> log_;
    SequenceObserver& next_;
};
