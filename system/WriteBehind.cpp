#include "system/WriteBehind.h"

#include <system_error>

WriteBehind::WriteBehind(size_t blocks) : blocksLeft_(blocks)
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
    changed_.notify_all();
    thread_.join();
}

WriteBehind::Block WriteBehind::take()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !free_.empty() || blocksLeft_ > 0; });
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
    {
        std::lock_guard lock(mutex_);
        free_.emplace_back(data);
    }
    changed_.notify_all();
}

void WriteBehind::post(std::function<void(const Block&)> work, Block block)
{
    if (!thread_.joinable()) {
        work(block);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back({std::move(work), std::move(block)});
    }
    changed_.notify_all();
}

void WriteBehind::post(std::function<void()> work)
{
    post([work = std::move(work)](const Block&) { work(); }, Block{});
}

void WriteBehind::drain()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return tasks_.empty() && !running_; });
}

void WriteBehind::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !tasks_.empty() || stopping_; });
        if (tasks_.empty())
            return;
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        running_ = true;
        lock.unlock();
        task.work(task.block);
        task = {};
        lock.lock();
        running_ = false;
        changed_.notify_all();
    }
}
