#include "installer/SilentObserver.h"

#include <thread>

SilentObserver::SilentObserver(std::vector<std::chrono::milliseconds> retryPauses)
    : retryPauses_(std::move(retryPauses))
{
}

bool SilentObserver::ask(Question question)
{
    if (question != Question::RetryServiceQuery || retries_ >= retryPauses_.size())
        return false;
    std::this_thread::sleep_for(retryPauses_[retries_++]);
    return true;
}
