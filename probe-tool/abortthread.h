#pragma once

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

// Watchdog around one blocking receive: ends the whole process with status 1
// when it is still armed after 12 seconds.
class AbortThread : public QThread
{
public:
    std::atomic_bool armed{false};

    // Clears armed and wakes the watchdog from its poll, so that it ends at once.
    void disarm();

protected:
    void run() override;

private:
    // The standard ones, not QMutex and QWaitCondition: Debian's Qt waits
    // inside libQt6Core, where ThreadSanitizer cannot see the mutex released,
    // and would take disarm() for a second lock of it.
    std::mutex pollMutex;
    std::condition_variable pollWake;
};
