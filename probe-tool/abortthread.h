#pragma once

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

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
    QMutex pollMutex;
    QWaitCondition pollWake;
};
