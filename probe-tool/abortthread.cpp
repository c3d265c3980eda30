#include "abortthread.h"

#include "platform.h"

#include <chrono>

namespace {
constexpr int pollMs = 10;
constexpr int limitMs = 12000;
} // namespace

void AbortThread::disarm()
{
    const std::lock_guard<std::mutex> lock(pollMutex);
    armed = false;
    pollWake.notify_all();
}

void AbortThread::run()
{
    // Polls every 10 ms; the counter is nominal time, so the process never
    // ends earlier than 12 seconds after the watchdog started.
    int counter = 0;
    std::unique_lock<std::mutex> lock(pollMutex);
    while (armed) {
        if (pollWake.wait_for(lock, std::chrono::milliseconds(pollMs)) ==
            std::cv_status::no_timeout)
            continue; // woken by disarm()
        counter += pollMs;
        if (counter > limitMs)
            Platform::terminateProcess(1);
    }
    lock.unlock();
}
