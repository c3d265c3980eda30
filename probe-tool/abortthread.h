#pragma once

#include <QThread>

#include <atomic>

// Watchdog of one probing thread: runs beside it for its whole life and ends
// the whole process with status 1 when one receive stays armed for more than
// 12 seconds.
class AbortThread : public QThread
{
public:
    // Before each receive: the 12 seconds count from here.
    void arm();
    // After each receive.
    void disarm();
    // Ends run() within one poll; the owner then wait()s for the thread.
    void finish();

protected:
    void run() override;

private:
    // Plain atomics: the probing thread only stores, the watchdog only polls,
    // so arming a receive costs no lock and no wake-up.
    std::atomic_bool armed{false};
    // Counts arm() calls, so that a receive armed again between two polls
    // still restarts the count.
    std::atomic_uint armings{0};
    std::atomic_bool finishing{false};
};
