#pragma once

#include "descriptionfetcher.h"
#include "ssdplocations.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QStringList>

// The locations of one search run, handed in as the search thread hands
// them, which never runs in tests and fuzzers: it sends datagrams.
struct SearchRun
{
    // One device that answers, on the documentation network.
    static QHostAddress device() { return QHostAddress(QStringLiteral("192.0.2.10")); }

    // An answer from sender to a run that is never asked to end.
    void answer(const QByteArray &datagram, const QHostAddress &sender = device())
    {
        locations.addAnswer(datagram, sender, [] { return false; });
    }
    // Takes every queued location, oldest first.
    QStringList takeAll()
    {
        QStringList taken;
        for (QString location; locations.takeFirst(location);)
            taken << location;
        return taken;
    }

    SsdpLocations locations;
};

// A description fetcher and the run it takes its locations from, paired as
// SsdpDiscovery pairs them.
class FetcherHarness : public SearchRun, public DescriptionFetcher
{
public:
    FetcherHarness() : DescriptionFetcher(locations) {}
};
