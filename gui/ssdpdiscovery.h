#pragma once

#include "descriptionfetcher.h"
#include "ssdplocations.h"

#include <QString>
#include <QThread>

#include <atomic>

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

    // Whether a run has answers still to come, or descriptions to fetch. A
    // run listens until it is ended, but devices answer within the few
    // seconds that the request allows.
    bool isSearching() const;
    // Ends the run (joining the search thread) and forgets its locations:
    // the fetches waiting are dropped and those running aborted, and none of
    // them emits a record. A new start() then searches afresh.
    void stop();

signals:
    void dataReceived(const QString &str);

protected:
    void run() override;

private:
    // When the run sent its requests, in ms of the monotonic clock; 0 until then.
    std::atomic<qint64> requestsSentMs{0};
    SsdpLocations locations;
    DescriptionFetcher fetcher{locations}; // destroyed before the locations it takes
};
