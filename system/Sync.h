// The system's slim lock and condition variables, for threads that hand
// each other work many times a second: under Wine they wait and wake
// through the kernel's futexes, in the process, while the standard
// library's (winpthreads) go through semaphores, each wait and each wake-up
// a round trip to the Wine server.
#pragma once

#include <windows.h>

#include <chrono>
#include <mutex>

namespace win {

// A BasicLockable, for std::unique_lock and std::lock_guard.
class SrwLock {
public:
    SrwLock() = default;
    SrwLock(const SrwLock&) = delete;
    SrwLock& operator=(const SrwLock&) = delete;
    void lock() { ::AcquireSRWLockExclusive(&srw_); }
    void unlock() { ::ReleaseSRWLockExclusive(&srw_); }
    SRWLOCK* get() { return &srw_; }

private:
    SRWLOCK srw_ = SRWLOCK_INIT;
};

class Condition {
public:
    Condition() = default;
    Condition(const Condition&) = delete;
    Condition& operator=(const Condition&) = delete;
    void notifyOne() { ::WakeConditionVariable(&variable_); }
    void notifyAll() { ::WakeAllConditionVariable(&variable_); }

    // Until READY holds, or the time is up; whether it holds.
    template <typename Ready>
    bool wait(std::unique_lock<SrwLock>& lock, Ready ready,
              std::chrono::milliseconds limit = std::chrono::milliseconds::max())
    {
        using Clock = std::chrono::steady_clock;
        const bool forever = limit == std::chrono::milliseconds::max();
        const Clock::time_point end = forever ? Clock::time_point::max() : Clock::now() + limit;
        while (!ready()) {
            DWORD wait = INFINITE;
            if (!forever) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
                if (left.count() <= 0)
                    return false;
                wait = static_cast<DWORD>(left.count());
            }
            ::SleepConditionVariableSRW(&variable_, lock.mutex()->get(), wait, 0);
        }
        return true;
    }

private:
    CONDITION_VARIABLE variable_ = CONDITION_VARIABLE_INIT;
};

} // namespace win
