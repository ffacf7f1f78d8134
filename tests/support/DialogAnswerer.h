// Answers the system message boxes that the code under test shows on the
// test's own thread: a watcher thread finds each box of this process, keeps
// its text and presses its default button.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class DialogAnswerer {
public:
    DialogAnswerer();
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;
    ~DialogAnswerer();

    // The texts of the boxes answered so far, in order.
    std::vector<std::wstring> texts() const;

private:
    void watch();

    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::wstring> texts_;
    std::thread thread_;
};
