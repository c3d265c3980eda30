#pragma once

#include <QThread>

#include <atomic>

// Watchdog around one blocking receive: ends the whole process with status 1
// when it is still armed after 12 seconds.
class AbortThread : public QThread
{
public:
    std::atomic_bool armed{false};

protected:
    void run() override;
};
