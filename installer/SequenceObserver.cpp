#include "installer/SequenceObserver.h"

#include <thread>

void animateProgress(SequenceObserver& observer, int from, int to, std::chrono::milliseconds step)
{
    for (int value = from; value <= to; ++value) {
        observer.progress(value);
        std::this_thread::sleep_for(step);
    }
}
