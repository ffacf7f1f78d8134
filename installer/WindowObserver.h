// The main window as the sequences' observer: the status texts, the bars and
// the pages of the install and the uninstall, the retry question and the
// described message boxes. After every visible change it lets the window
// handle its pending messages, so that it keeps painting and can be moved.
#pragma once

#include "installer/SequenceObserver.h"

class TFrmCommInst;
class TProgressBar;

class WindowObserver : public SequenceObserver {
public:
    // Until it is shown a window, only its boxes can be used: the start-up
    // tells nothing but messages and errors.
    WindowObserver() = default;
    // The main window that shows the run from now on.
    void showOn(TFrmCommInst& window);

    void stage(Stage stage) override;
    void progress(int percent) override;
    void detail(const std::wstring&) override {}
    bool ask(Question question) override;
    void message(const Message& message) override;
    void error(const SequenceError&) override {}
    void outcome(const InstallOutcome&) override {}

private:
    void showStatus(const wchar_t* text);

    TFrmCommInst* window_ = nullptr;
    // The install's or the uninstall's.
    TProgressBar* bar_ = nullptr;
};
