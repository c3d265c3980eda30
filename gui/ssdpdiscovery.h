#pragma once

#include "descriptionfetcher.h"
#include "ssdplocations.h"

#include <QString>
#include <QThread>

// SSDP search: the thread sends one M-SEARCH from every local IPv4 address
// and collects the LOCATION of every answer; in the GUI thread the fetcher
// fetches each new location's description and emits one device record per
// fetch, which this object passes on.
//
// start() begins a run; stop() ends it and drops what it found.
class SsdpDiscovery : public QThread
{
    Q_OBJECT

public:
    SsdpDiscovery();

    // Ends the run (joining the search thread) and forgets its locations:
    // the fetches waiting are dropped and those running aborted, and none of
    // them emits a record. A new start() then searches afresh.
    void stop();
    // True when no description fetch waits for its share or runs; a location
    // that the search finds is taken within 100 ms.
    bool fetchesIdle() const { return fetcher.isIdle(); }

signals:
    void dataReceived(const QString &str);

protected:
    void run() override;

private:
    SsdpLocations locations;
    DescriptionFetcher fetcher{locations}; // destroyed before the locations it takes
};
