// The observer of a silent automatic install: nobody watches, nothing is
// shown, and every question is answered without waiting for a person.
#pragma once

#include "installer/SequenceObserver.h"

#include <chrono>
#include <vector>

class SilentObserver : public SequenceObserver {
public:
    // The service is asked again once per pause, after waiting it out; the
    // question after the last one is answered no.
    explicit SilentObserver(std::vector<std::chrono::milliseconds> retryPauses = kRetryPauses);

    void stage(Stage) override {}
    void progress(int) override {}
    void detail(const std::wstring&) override {}
    bool ask(Question question) override;
    void message(const Message&) override {}
    void error(const SequenceError&) override {}
    void outcome(const InstallOutcome&) override {}
    void outcome(UninstallResult) override {}

    static inline const std::vector<std::chrono::milliseconds> kRetryPauses{std::chrono::seconds(1),
                                                                           std::chrono::seconds(2),
                                                                           std::chrono::seconds(4)};

private:
    std::vector<std::chrono::milliseconds> retryPauses_;
    size_t retries_ = 0;
};
