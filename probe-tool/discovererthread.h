#pragma once

#include <QThread>

class DeviceReporter;
class LocalAddressList;

// Set by main before the probing threads start; deleted after all have ended.
extern LocalAddressList *addressList;
extern DeviceReporter *reporter;

// Probes from one local IPv4 address and reports every answer.
class DiscovererThread : public QThread
{
public:
    quint32 address = 0; // network byte order

protected:
    void run() override;
};
