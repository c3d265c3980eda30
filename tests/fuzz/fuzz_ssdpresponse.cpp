// One received SSDP answer as the search thread hands it to the discovery;
// then, as the fetch timer does, every new location that names no HTTP URL
// is reported at once. HTTP locations are never fetched here: that would go
// onto the network.

#include "descriptionfetcher.h"
#include "fetcherharness.h"
#include "fuzzing.h"
#include "ssdplocations.h"

#include <QStringList>
#include <QUrl>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzzing::setUp();
    // One fetcher for the whole run, emptied before each location as a new
    // search run does; never destroyed, as the application object it needs.
    FetcherHarness &fetcher = Fuzzing::lasting<FetcherHarness>();
    static QStringList records;
    static const QMetaObject::Connection collect =
        QObject::connect(&fetcher, &DescriptionFetcher::dataReceived,
                         [](const QString &record) { records << record; });
    FUZZ_CHECK(collect);

    SearchRun run;
    const QByteArray datagram = Fuzzing::bytes(data, size);
    run.answer(datagram);
    const QStringList queued = run.takeAll();
    QStringList distinct = queued;
    FUZZ_CHECK(distinct.removeDuplicates() == 0);
    FUZZ_CHECK(queued.size() <= SsdpLocations::guaranteedLocationsPerSender + 1);
    for (const QString &location : queued) {
        FUZZ_CHECK(location == location.trimmed());
        FUZZ_CHECK(!location.contains(QLatin1String("\r\n")));
        FUZZ_CHECK(location.toUtf8().size() <= SsdpLocations::maxLocationBytes);
    }

    // Every location once per run, however often it is answered.
    run.answer(datagram);
    FUZZ_CHECK(run.takeAll().isEmpty());

    for (const QString &location : queued) {
        const QUrl url(location, QUrl::TolerantMode);
        if (DescriptionFetcher::canFetch(url))
            continue;
        records.clear();
        fetcher.locations.clear();
        fetcher.answer("LOCATION:" + location.toUtf8() + "\r\n");
        fetcher.fetchQueued();
        FUZZ_CHECK(records ==
                   QStringList{DescriptionFetcher::record(QStringLiteral("Unknown"), url)});
    }
    return 0;
}
