// One received SSDP answer as the search thread hands it to the discovery;
// then, as the fetch timer does, every new location that names no HTTP URL
// is reported at once. HTTP locations are never fetched here: that would go
// onto the network.

#include "fuzzing.h"
#include "ssdpdiscovery.h"
#include "ssdpdiscoveryharness.h"
#include "ssdplocations.h"

#include <QStringList>
#include <QUrl>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzzing::setUp();
    // One discovery for the whole run, emptied before each location as a new
    // search run does; its search thread never starts.
    SsdpDiscoveryHarness &discovery = Fuzzing::lasting<SsdpDiscoveryHarness>();
    static QStringList records;
    static const QMetaObject::Connection collect = QObject::connect(
        &discovery, &SsdpDiscovery::dataReceived, [](const QString &record) { records << record; });
    FUZZ_CHECK(collect);

    SsdpLocations locations;
    const QByteArray datagram = Fuzzing::bytes(data, size);
    locations.addAnswer(datagram);
    const QStringList queued = locations.pending();
    QStringList distinct = queued;
    FUZZ_CHECK(distinct.removeDuplicates() == 0);
    for (const QString &location : queued) {
        FUZZ_CHECK(location == location.trimmed());
        FUZZ_CHECK(!location.contains(QLatin1String("\r\n")));
    }

    // Every location once per run, however often it is answered.
    locations.addAnswer(datagram);
    FUZZ_CHECK(locations.pending() == queued);

    for (const QString &location : queued) {
        const QUrl url(location, QUrl::TolerantMode);
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
            continue;
        records.clear();
        discovery.locations.clear();
        discovery.locations.add(location);
        discovery.tick();
        FUZZ_CHECK(records == QStringList{SsdpDiscovery::record(QStringLiteral("Unknown"), url)});
    }
    return 0;
}
