#pragma once

#include "ssdpdiscovery.h"

#include <QList>
#include <QMetaObject>
#include <QNetworkReply>

// An SsdpDiscovery whose search thread, which sends datagrams, never runs:
// tests and fuzzers queue the locations themselves, as a run does.
class SsdpDiscoveryHarness : public SsdpDiscovery
{
public:
    using SsdpDiscovery::locations;

    // Starts the fetches of the queued locations now, as the next tick would.
    void tick() { QMetaObject::invokeMethod(this, "slotTimer", Qt::DirectConnection); }
    QList<QNetworkReply *> replies() const { return findChildren<QNetworkReply *>(); }
};
