#include "abortthread.h"

#include "platform.h"
#include "threadsanitizer.h"

namespace {
constexpr int pollMs = 10;
constexpr int limitMs = 12000;
} // namespace

void AbortThread::run()
{
    int counter = 0;
    while (armed) {
        QThread::msleep(pollMs);
        counter += pollMs;
        if (counter > limitMs)
            Platform::terminateProcess(1);
    }
    markThreadFinished(this);
}
