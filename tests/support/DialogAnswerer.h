// Answers the system message boxes a call under test shows: a thread watches
// for a dialog with the given caption, records its text and presses its
// default button (or the given one), so the call's own modal loop returns.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class DialogAnswerer {
public:
    explicit DialogAnswerer(std::wstring caption, int button = IDOK)
        : caption_(std::move(caption)), button_(button), thread_([this] { watch(); })
    {
    }
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;
    ~DialogAnswerer()
    {
        stop_ = true;
        thread_.join();
    }

    // The texts of the boxes answered so far.
    std::vector<std::wstring> texts() const
    {
        std::lock_guard lock(mutex_);
        return texts_;
    }

private:
    // The message box keeps its text in a static control with this id.
    static constexpr int kTextId = 0xFFFF;

    void watch()
    {
        while (!stop_) {
            if (HWND box = ::FindWindowW(L"#32770", caption_.c_str()); box && ::IsWindowVisible(box)) {
                wchar_t text[512] = {};
                ::GetDlgItemTextW(box, kTextId, text, 512);
                {
                    std::lock_guard lock(mutex_);
                    texts_.emplace_back(text);
                }
                ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED), 0);
                // Wait until it is gone so that one box is not counted twice.
                for (int i = 0; i < 200 && ::IsWindow(box); ++i)
                    ::Sleep(10);
            }
            ::Sleep(20);
        }
    }

    std::wstring caption_;
    int button_;
    mutable std::mutex mutex_;
    std::vector<std::wstring> texts_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
