// One received SSDP answer as the search thread hands it to the discovery;
// then, as the fetch timer does, every new location that names no HTTP URL
// is reported at once. HTTP locations are never fetched here: that would go
// onto the network.

#include "fuzzing.h"
#include "ssdpdiscovery.h"
#include "ssdpdiscoveryharness.h"

#include <QStringList>
#include <QUrl>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzzing::setUp();
    // One discovery for the whole run, emptied before each input as a new
    // search run does; its search thread never starts.
    static SsdpDiscovery discovery;
    static QStringList records;
    static const QMetaObject::Connection collect = QObject::connect(
        &discovery, &SsdpDiscovery::dataReceived, [](const QString &record) { records << record; });
    FUZZ_CHECK(collect);

    SsdpDiscoveryHarness harness(discovery);
    harness.clearLocations();
    const QByteArray datagram = Fuzzing::bytes(data, size);
    harness.parseResponse(datagram);
    const QStringList locations = harness.pending();
    FUZZ_CHECK(harness.seen() == QSet<QString>(locations.begin(), locations.end()));
    QStringList distinct = locations;
    FUZZ_CHECK(distinct.removeDuplicates() == 0);
    for (const QString &location : locations) {
        FUZZ_CHECK(location == location.trimmed());
        FUZZ_CHECK(!location.contains(QLatin1String("\r\n")));
    }

    // Every location once per run, however often it is answered.
    harness.parseResponse(datagram);
    FUZZ_CHECK(harness.pending() == locations);

    for (const QString &location : locations) {
        const QUrl url(location, QUrl::TolerantMode);
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
            continue;
        records.clear();
        harness.fetch(url);
        FUZZ_CHECK(records == QStringList{harness.record(QStringLiteral("Unknown"), url)});
    }
    return 0;
}
