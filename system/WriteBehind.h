// File work done in order on a thread of its own, behind the thread that
// queues it: while the system creates and writes files, the queuing thread
// goes on reading, decrypting, inflating or receiving. Under Wine a file's
// creation and its writes cost as much as the extraction's own work, and a
// single thread paid for both one after the other.
#pragma once

#include "system/Sync.h"

#include <windows.h>

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class WriteBehind {
    // A block's memory goes back to its WriteBehind, to be taken again.
    struct GiveBack {
        WriteBehind* owner;
        void operator()(unsigned char* data) const { owner->giveBack(data); }
    };

public:
    // Small enough that a block is still in the processor's cache when it
    // is written.
    static constexpr size_t kBlockSize = 128 * 1024;

    // Data for one task: SIZE bytes filled of kBlockSize. Every block is
    // given back (destroyed) before its WriteBehind ends.
    struct Block {
        std::unique_ptr<unsigned char[], GiveBack> data;
        size_t size = 0;
    };

    // At most BLOCKS blocks exist at any time, queued or being filled.
    explicit WriteBehind(size_t blocks = 64);
    // Runs what is queued first.
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // An empty block to fill; waits while every block is taken.
    Block take();
    // Queues WORK, which runs after everything queued before it, with BLOCK;
    // the block is given back once WORK returns. Where no thread could be
    // started, WORK runs here and now.
    void post(std::function<void(const Block&)> work, Block block);
    // Work without data.
    void post(std::function<void()> work);
    // Waits until everything queued has run.
    void drain();

private:
    struct Task {
        std::function<void(const Block&)> work;
        Block block;
    };

    void run();
    void giveBack(unsigned char* data);
    // Whether the thread has reason to run: under Wine every wake-up of a
    // waiting thread is a round trip to the Wine server, so it is woken for
    // a batch of tasks, not for each one.
    bool due() const;

    win::SrwLock mutex_;
    // Tasks for the thread; blocks and the end of a drain for the queuing thread.
    win::Condition workDue_;
    win::Condition workDone_;
    std::deque<Task> tasks_;
    std::vector<std::unique_ptr<unsigned char[]>> free_;
    size_t blocksLeft_;
    size_t batch_;
    bool running_ = false;
    bool waitingForBlock_ = false;
    bool draining_ = false;
    bool stopping_ = false;
    std::thread thread_;
};
