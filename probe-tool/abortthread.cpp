#include "abortthread.h"

#include "platform.h"
#include "threadsanitizer.h"

namespace {
constexpr int pollMs = 10;
constexpr int limitMs = 12000;
} // namespace

void AbortThread::disarm()
{
    QMutexLocker locker(&pollMutex);
    armed = false;
    pollWake.wakeAll();
}

void AbortThread::run()
{
    // Polls every 10 ms; the counter is nominal time, so the process never
    // ends earlier than 12 seconds after the watchdog started.
    int counter = 0;
    QMutexLocker locker(&pollMutex);
    while (armed) {
        if (pollWake.wait(&pollMutex, pollMs))
            continue; // woken by disarm()
        counter += pollMs;
        if (counter > limitMs)
            Platform::terminateProcess(1);
    }
    locker.unlock();
    markThreadFinished(this);
}
