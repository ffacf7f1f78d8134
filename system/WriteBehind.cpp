#include "system/WriteBehind.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace {

constexpr auto kGatherTime = std::chrono::milliseconds(10);

} // namespace

WriteBehind::WriteBehind(size_t blocks)
    : blocksLeft_(blocks), batch_(std::max<size_t>(1, blocks / 4))
{
    // Giving a block back never allocates.
    free_.reserve(blocks);
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // Without a thread the queuing thread does the work itself.
    }
}

WriteBehind::~WriteBehind()
{
    if (!thread_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    workDue_.notifyOne();
    thread_.join();
}

bool WriteBehind::due() const
{
    return tasks_.size() >= batch_ || (!tasks_.empty() && (waitingForBlock_ || draining_)) || stopping_;
}

WriteBehind::Block WriteBehind::take()
{
    std::unique_lock lock(mutex_);
    if (free_.empty() && blocksLeft_ == 0) {
        // Every block waits in the queue: the thread must run now.
        waitingForBlock_ = true;
        workDue_.notifyOne();
        workDone_.wait(lock, [this] { return !free_.empty(); });
        waitingForBlock_ = false;
    }
    std::unique_ptr<unsigned char[]> data;
    if (!free_.empty()) {
        data = std::move(free_.back());
        free_.pop_back();
    } else {
        --blocksLeft_;
        lock.unlock();
        data = std::make_unique_for_overwrite<unsigned char[]>(kBlockSize);
    }
    return {std::unique_ptr<unsigned char[], GiveBack>(data.release(), GiveBack{this}), 0};
}

void WriteBehind::giveBack(unsigned char* data)
{
    std::lock_guard lock(mutex_);
    free_.emplace_back(data);
    if (waitingForBlock_)
        workDone_.notifyOne();
}

void WriteBehind::post(std::function<void(const Block&)> work, Block block)
{
    if (!thread_.joinable()) {
        work(block);
        return;
    }
    std::lock_guard lock(mutex_);
    tasks_.push_back({std::move(work), std::move(block)});
    // The thread waits for a first task, then for a batch.
    if (tasks_.size() == 1 || tasks_.size() == batch_)
        workDue_.notifyOne();
}

void WriteBehind::post(std::function<void()> work)
{
    post([work = std::move(work)](const Block&) { work(); }, Block{});
}

void WriteBehind::drain()
{
    std::unique_lock lock(mutex_);
    draining_ = true;
    workDue_.notifyOne();
    workDone_.wait(lock, [this] { return tasks_.empty() && !running_; });
    draining_ = false;
}

void WriteBehind::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        workDue_.wait(lock, [this] { return !tasks_.empty() || stopping_; });
        // A batch, or whatever came within a short while: nothing queued
        // waits long when no more follows (the last piece before a stalled
        // download's pause).
        workDue_.wait(lock, [this] { return due(); }, kGatherTime);
        if (tasks_.empty())
            return;
        // Everything queued runs before the thread waits again.
        while (!tasks_.empty()) {
            Task task = std::move(tasks_.front());
            tasks_.pop_front();
            running_ = true;
            lock.unlock();
            task.work(task.block);
            task = {};
            lock.lock();
            running_ = false;
        }
        if (draining_)
            workDone_.notifyOne();
    }
}
