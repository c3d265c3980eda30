#include "abortthread.h"

#include "platform.h"

#include <QDeadlineTimer>

namespace {
constexpr int pollMs = 10;
constexpr qint64 limitMs = 12000;
} // namespace

bool AbortThread::watch()
{
    start(QThread::InheritPriority);
    // Only finish() ends run(), so a thread that is not running never started.
    return isRunning();
}

void AbortThread::arm()
{
    deadlineNs = QDeadlineTimer(limitMs).deadlineNSecs();
}

void AbortThread::disarm()
{
    deadlineNs = disarmed;
}

void AbortThread::finish()
{
    finishing = true;
}

void AbortThread::run()
{
    // A sleep lasts at least its 10 ms and often longer (a timer tick of
    // 15.6 ms on Windows, a busy processor elsewhere); the clock, not the
    // number of polls, says when the time is up.
    while (!finishing) {
        QThread::msleep(pollMs);
        if (QDeadlineTimer::current().deadlineNSecs() > deadlineNs)
            Platform::terminateProcess(1);
    }
}
