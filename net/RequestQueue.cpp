#include "net/RequestQueue.h"

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace net {

namespace {

class RequestQueue {
public:
    // Never destroyed: its thread may still be sending when the program
    // ends, and the end of the process stops it there.
    static RequestQueue& instance()
    {
        static auto* queue = new RequestQueue;
        return *queue;
    }

    void push(std::function<void()> job)
    {
        {
            const std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
            if (!started_) {
                std::thread([this] { run(); }).detach();
                started_ = true;
            }
        }
        wake_.notify_one();
    }

private:
    void run()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return !jobs_.empty(); });
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            try {
                job();
            } catch (...) {
                // A job that fails must not take the requests behind it along.
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool started_ = false;
};

// The end of one queued job, told to whoever waits for it.
class Completion {
public:
    // WAITER: the thread that handles its messages while it waits (0: none);
    // an empty message wakes it up.
    explicit Completion(DWORD waiter) : waiter_(waiter) {}

    void finish()
    {
        {
            const std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        if (waiter_)
            ::PostThreadMessageW(waiter_, WM_NULL, 0, 0);
    }

    bool finished()
    {
        const std::lock_guard lock(mutex_);
        return finished_;
    }

    bool wait(std::chrono::milliseconds limit)
    {
        std::unique_lock lock(mutex_);
        if (limit == std::chrono::milliseconds::max()) {
            done_.wait(lock, [this] { return finished_; });
            return true;
        }
        return done_.wait_for(lock, limit, [this] { return finished_; });
    }

private:
    const DWORD waiter_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
};

std::shared_ptr<Completion> queueWithCompletion(std::function<void()> job, DWORD waiter)
{
    auto completion = std::make_shared<Completion>(waiter);
    RequestQueue::instance().push([job = std::move(job), completion] {
        // Told also when the job fails: nobody may wait for ever.
        struct Finish {
            Completion& completion;
            ~Finish() { completion.finish(); }
        } finish{*completion};
        if (job)
            job();
    });
    return completion;
}

} // namespace

void sendInBackground(std::function<void()> job) { RequestQueue::instance().push(std::move(job)); }

bool runInOrder(std::function<void()> job, const MessageWait& waitForMessage)
{
    if (!waitForMessage) {
        queueWithCompletion(std::move(job), 0)->wait(std::chrono::milliseconds::max());
        return true;
    }
    // The wake-up message needs the thread's message queue.
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    const auto completion = queueWithCompletion(std::move(job), ::GetCurrentThreadId());
    while (!completion->finished())
        if (!waitForMessage())
            return completion->finished();
    return true;
}

bool waitForQueuedRequests(std::chrono::milliseconds limit)
{
    return queueWithCompletion({}, 0)->wait(limit);
}

} // namespace net
