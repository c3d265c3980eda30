#include "abortthread.h"

#include "platform.h"

namespace {
constexpr int pollMs = 10;
constexpr int limitMs = 12000;
} // namespace

void AbortThread::arm()
{
    armings.fetch_add(1);
    armed = true;
}

void AbortThread::disarm()
{
    armed = false;
}

void AbortThread::finish()
{
    finishing = true;
}

void AbortThread::run()
{
    // Polls every 10 ms; the counter is nominal time since the poll that first
    // saw the current arming, so the process never ends earlier than 12
    // seconds after a receive was armed.
    int counter = 0;
    unsigned counted = armings;
    while (!finishing) {
        QThread::msleep(pollMs);
        // armed before armings: an arming seen here has its count seen too.
        if (!armed) {
            counter = 0;
            continue;
        }
        const unsigned current = armings;
        if (current != counted) {
            counted = current;
            counter = 0;
            continue;
        }
        counter += pollMs;
        if (counter > limitMs)
            Platform::terminateProcess(1);
    }
}
