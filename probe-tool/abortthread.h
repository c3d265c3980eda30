#pragma once

#include <QThread>

#include <atomic>
#include <limits>

// Watchdog of one probing thread: runs beside it for its whole life and ends
// the whole process with status 1 when one receive stays armed for more than
// 12 seconds.
class AbortThread : public QThread
{
public:
    // Starts the thread; false when the system could not make it, and then
    // nothing would end a receive that hangs.
    bool watch();
    // Before each receive: the 12 seconds count from here.
    void arm();
    // After each receive.
    void disarm();
    // Ends run() within one poll; the owner then wait()s for the thread.
    void finish();

protected:
    void run() override;

private:
    static constexpr qint64 disarmed = std::numeric_limits<qint64>::max();

    // Plain atomics: the probing thread only stores, the watchdog only polls,
    // so arming a receive costs no lock and no wake-up. The deadline is on the
    // monotonic clock, so late wake-ups of the poll add nothing to it.
    std::atomic<qint64> deadlineNs{disarmed};
    std::atomic_bool finishing{false};
};
