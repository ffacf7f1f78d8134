// The process's one sender of the vendor service's requests: a thread of its
// own runs them one after the other, in the order they were queued. A report
// can therefore be sent in the background and still reach the service before
// the request that follows it, and no window waits on the network: a caller
// that needs an answer keeps handling its messages until the answer is in.
#pragma once

#include <chrono>
#include <functional>

namespace net {

// Waits for one message of the calling thread and handles it; false once the
// program is ending.
using MessageWait = std::function<bool()>;

// Queues JOB behind everything queued before it and returns at once.
void sendInBackground(std::function<void()> job);

// Queues JOB and returns once it has run. With WAITFORMESSAGE the calling
// thread handles its messages meanwhile (a window keeps painting); false when
// that gave up because the program is ending (JOB may still run later).
// Without it the thread simply blocks.
bool runInOrder(std::function<void()> job, const MessageWait& waitForMessage);

// Blocks until every job queued before the call has run, at most LIMIT; true
// when they have. A download waits this way so that it starts after the
// requests that come before it; the end of the program gives the reports
// still queued a short time to go out.
bool waitForQueuedRequests(std::chrono::milliseconds limit = std::chrono::milliseconds::max());

} // namespace net
