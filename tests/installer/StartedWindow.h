// The main window as the program builds it: after the start-up of this test
// program (with the test product embedded), hosting the run it made. The run
// finishes once the window has gone.
#pragma once

#include "installer/StartUp.h"
#include "installer/UntMain.h"
#include "installer/WindowObserver.h"

class StartedWindow {
public:
    StartedWindow() : startUp_(programStartInputs(), observer_)
    {
        if (startUp_.run())
            form_ = makeForm<TFrmCommInst>(startUp_.context(), observer_);
    }
    StartedWindow(const StartedWindow&) = delete;
    StartedWindow& operator=(const StartedWindow&) = delete;
    ~StartedWindow() { reset(); }

    // Null when the start-up refused to run.
    TFrmCommInst* get() const { return form_.get(); }
    TFrmCommInst* operator->() const { return form_.get(); }
    TFrmCommInst& operator*() const { return *form_; }
    // Closes the window and finishes the run.
    void reset()
    {
        if (finished_)
            return;
        finished_ = true;
        form_.reset();
        startUp_.context().finish();
    }

private:
    WindowObserver observer_;
    StartUp startUp_;
    FormPtr<TFrmCommInst> form_;
    bool finished_ = false;
};
