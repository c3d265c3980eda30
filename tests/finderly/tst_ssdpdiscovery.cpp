// SSDP discovery without sockets of its own: answer parsing, friendly names,
// and description fetches from a loopback HTTP server. The search thread is
// never started here; it sends datagrams, which the network tests cover.

#include "descriptionfetcher.h"
#include "descriptionserver.h"
#include "fetcherharness.h"
#include "samples.h"
#include "ssdplocations.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <memory>
#include <vector>

using Datagrams = QList<QByteArray>;

class TestSsdpDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void parsing_data();
    void parsing();
    void everyLocationOncePerRun();
    void capturedAnswers_data();
    void capturedAnswers();
    void capturedAnswersInOneRun();
    void hostileDatagrams_data();
    void hostileDatagrams();
    void aSendersShare_data();
    void aSendersShare();
    void aRunTakesAtMost2048Locations();
    void anAnswerIsLeftOnceTheRunIsToEnd();

    void friendlyName_data();
    void friendlyName();

    void recordOfAFetchedDescription();
    void capturedDescriptionsOverHttp();
    void oneFetchPerLocationPerRun();
    void locationsDifferingInCaseAreFetchedApart();
    void framing_data();
    void framing();
    void failedFetches_data();
    void failedFetches();
    void onlyHttpIsFetched_data();
    void onlyHttpIsFetched();
    void aServerThatNeverAnswersFailsAfterTenSeconds();
    void descriptionsUpToOneMebibyteAreRead();
    void theFetcherIsIdleOnceEveryFetchIsHandled();
    void aHostWhoseHeaderNeverEndsHoldsUpNoOther();
    void eachHostHasItsShareAndTheHostsTakeTurns();

private:
    static QByteArray answer(const QByteArray &locationLines);
    static QByteArray locationLines(const QStringList &locations);
    // count distinct locations on host.
    static QStringList offeredBy(const QString &host, int count);
    // Queues location through an answer, as the search thread would.
    static void queue(FetcherHarness &discovery, const QString &location);
    // The records of count fetches, in the order they finished.
    static QStringList records(QSignalSpy &spy, int count, int timeoutMs = 5000);
    static QString record(const QString &name, const QString &url);

    // An answer served as it stands, at a location of its own.
    QString rawAnswer(const QByteArray &answer);
    // A path on the https server that ctest runs; empty without it.
    static QString httpsUrl(const QString &path);

    DescriptionServer server;
    QTemporaryFile localFile;
};

QByteArray TestSsdpDiscovery::answer(const QByteArray &locationLines)
{
    return "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nEXT:\r\n" + locationLines +
           "SERVER: Linux/5.10 UPnP/1.0 Test/1.0\r\nST: upnp:rootdevice\r\n"
           "USN: uuid:00000000-0000-0000-0000-000000000001::upnp:rootdevice\r\n\r\n";
}

void TestSsdpDiscovery::queue(FetcherHarness &discovery, const QString &location)
{
    discovery.answer(answer("LOCATION: " + location.toUtf8() + "\r\n"));
}

QStringList TestSsdpDiscovery::records(QSignalSpy &spy, int count, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (spy.count() < count && clock.elapsed() < timeoutMs)
        spy.wait(int(timeoutMs - clock.elapsed()));
    QStringList list;
    for (const QList<QVariant> &arguments : std::as_const(spy))
        list << arguments.at(0).toString();
    return list;
}

QString TestSsdpDiscovery::record(const QString &name, const QString &url)
{
    return QLatin1Char('[') + name + QLatin1String("] <") + url + QLatin1String(">\r\n");
}

void TestSsdpDiscovery::initTestCase()
{
    QVERIFY(server.isListening());
    server.route(QStringLiteral("/desc.xml"),
                 "<root><device><friendlyName>Living Room</friendlyName></device></root>");
    server.route(QStringLiteral("/Desc.xml"),
                 "<root><device><friendlyName>Hall</friendlyName></device></root>");
    for (const Samples::Description &sample : Samples::descriptions) {
        server.route(QLatin1Char('/') + QLatin1String(sample.file),
                     Samples::contents(Samples::descriptionPath(sample.file)));
    }
    server.route(QStringLiteral("/error"), {500, "<friendlyName>Broken</friendlyName>"});
    server.route(QStringLiteral("/huge"),
                 {200, "<friendlyName>Huge</friendlyName>" + QByteArray(2 * 1024 * 1024, ' ')});
    server.route(QStringLiteral("/endless"), {200, {}, {}, DescriptionServer::Behaviour::Endless});
    server.route(QStringLiteral("/silent"), {200, {}, {}, DescriptionServer::Behaviour::Silent});

    // A local file that a location or a redirect must never make us read.
    QVERIFY(localFile.open());
    localFile.write("<root><device><friendlyName>Leaked</friendlyName></device></root>");
    localFile.flush();
    server.route(
        QStringLiteral("/to-local-file"),
        {302, {}, "Location: " + QUrl::fromLocalFile(localFile.fileName()).toEncoded() + "\r\n"});
    server.route(
        QStringLiteral("/to-ftp"),
        {302,
         {},
         "Location: ftp://127.0.0.1:" + QByteArray::number(server.serverPort()) + "/desc.xml\r\n"});
    server.route(QStringLiteral("/loop"), {302, {}, "Location: /loop\r\n"});
    server.route(QStringLiteral("/endless-chunks"),
                 {200, {}, {}, DescriptionServer::Behaviour::EndlessChunked});
}

void TestSsdpDiscovery::parsing_data()
{
    QTest::addColumn<Datagrams>("datagrams");
    QTest::addColumn<QStringList>("expected");

    const QString url = QStringLiteral("http://192.0.2.10:49152/desc.xml");
    QTest::newRow("upper case") << Datagrams{answer(
                                       "LOCATION: http://192.0.2.10:49152/desc.xml\r\n")}
                                << QStringList{url};
    QTest::newRow("lower case") << Datagrams{answer(
                                       "location: http://192.0.2.10:49152/desc.xml\r\n")}
                                << QStringList{url};
    QTest::newRow("mixed case") << Datagrams{answer(
                                       "LoCaTiOn: http://192.0.2.10:49152/desc.xml\r\n")}
                                << QStringList{url};
    QTest::newRow("no space after the colon")
        << Datagrams{answer("LOCATION:http://192.0.2.10:49152/desc.xml\r\n")} << QStringList{url};
    QTest::newRow("spaces and tabs around the URL")
        << Datagrams{answer("LOCATION: \t  http://192.0.2.10:49152/desc.xml \t \r\n")}
        << QStringList{url};
    QTest::newRow("the URL keeps its case")
        << Datagrams{answer("LOCATION: HTTP://192.0.2.10:49152/Desc.XML\r\n")}
        << QStringList{"HTTP://192.0.2.10:49152/Desc.XML"};
    QTest::newRow("space before the colon")
        << Datagrams{answer("LOCATION : http://192.0.2.10:49152/desc.xml\r\n")} << QStringList{};
    QTest::newRow("space before the header name")
        << Datagrams{answer(" LOCATION: http://192.0.2.10:49152/desc.xml\r\n")} << QStringList{};
    QTest::newRow("a longer header name")
        << Datagrams{answer("LOCATIONS: http://192.0.2.10:49152/desc.xml\r\n")} << QStringList{};
    QTest::newRow("empty location") << Datagrams{answer("LOCATION:\r\n")} << QStringList{""};
    QTest::newRow("blank location") << Datagrams{answer("LOCATION:  \t\r\n")} << QStringList{""};
    QTest::newRow("LF-only answer")
        << Datagrams{"HTTP/1.1 200 OK\nCACHE-CONTROL: max-age=1800\nLOCATION: "
                     "http://192.0.2.10:49152/desc.xml\nST: upnp:rootdevice\n\n"}
        << QStringList{};
    QTest::newRow("several LOCATION lines in one answer, in order")
        << Datagrams{answer("LOCATION: http://192.0.2.10:49152/desc.xml\r\n"
                            "LOCATION: http://192.0.2.10:49153/second.xml\r\n")}
        << QStringList{url, "http://192.0.2.10:49153/second.xml"};
    QTest::newRow("the same location twice in one answer")
        << Datagrams{answer("LOCATION: http://192.0.2.10:49152/desc.xml\r\n"
                            "Location: http://192.0.2.10:49152/desc.xml\r\n")}
        << QStringList{url};
    QTest::newRow("the same location in two answers")
        << Datagrams{answer("LOCATION: http://192.0.2.10:49152/desc.xml\r\n"),
                     answer("LOCATION:  http://192.0.2.10:49152/desc.xml\r\n")}
        << QStringList{url};
    QTest::newRow("locations differing in case only")
        << Datagrams{answer("LOCATION: http://192.0.2.10:49152/desc.xml\r\n"),
                     answer("LOCATION: http://192.0.2.10:49152/Desc.xml\r\n")}
        << QStringList{url, "http://192.0.2.10:49152/Desc.xml"};
    QTest::newRow("status code not looked at")
        << Datagrams{"HTTP/1.1 404 Not Found\r\nLOCATION: http://192.0.2.10:49152/desc.xml\r\n\r\n"}
        << QStringList{url};
    QTest::newRow("last line without a line end")
        << Datagrams{"HTTP/1.1 200 OK\r\nLOCATION: http://192.0.2.10:49152/desc.xml"}
        << QStringList{url};
    QTest::newRow("a NUL byte does not end the answer")
        << Datagrams{QByteArray("HTTP/1.1 200 OK\r\nX-A: \0\r\n", 25) +
                     "LOCATION: http://192.0.2.10:49152/desc.xml\r\n\r\n"}
        << QStringList{url};
    QTest::newRow("UTF-8 in the location")
        << Datagrams{answer("LOCATION: http://192.0.2.10:49152/Gr\xc3\xbc\xc3\x9f\x65.xml\r\n")}
        << QStringList{QStringLiteral("http://192.0.2.10:49152/Gr\u00fc\u00dfe.xml")};
    // Real locations are far shorter; the bound counts UTF-8 bytes after trimming.
    const QByteArray longest = "http://192.0.2.10/" + QByteArray(2048 - 18, 'p');
    QTest::newRow("a location of 2048 bytes")
        << Datagrams{answer("LOCATION: \t" + longest + " \r\n")}
        << QStringList{QString::fromLatin1(longest)};
    QTest::newRow("a location of 2049 bytes is left, the next one taken")
        << Datagrams{answer("LOCATION: " + longest + "p\r\nLOCATION: " + longest + "\r\n")}
        << QStringList{QString::fromLatin1(longest)};
    const QByteArray umlauts = "http://192.0.2.10/" + QByteArray("\xc3\xbc").repeated(1015);
    QTest::newRow("2048 bytes of fewer characters")
        << Datagrams{answer("LOCATION: " + umlauts + "\r\n"),
                     answer("LOCATION: " + umlauts + "\xc3\xbc\r\n")}
        << QStringList{QString::fromUtf8(umlauts)};
    QTest::newRow("each datagram by itself: a short answer after a long one")
        << Datagrams{answer("X-PAD: " + QByteArray(2000, 'p') +
                            "\r\n"
                            "LOCATION: http://192.0.2.10:49152/desc.xml\r\n"),
                     "HTTP/1.1 200 OK\r\nLOCATION: http://192.0.2.11/a.xml\r\n\r\n"}
        << QStringList{url, "http://192.0.2.11/a.xml"};
}

void TestSsdpDiscovery::parsing()
{
    QFETCH(Datagrams, datagrams);
    QFETCH(QStringList, expected);
    SearchRun run;
    for (const QByteArray &datagram : datagrams)
        run.answer(datagram);
    QCOMPARE(run.takeAll(), expected);
    // The same answers again: every location is known now.
    for (const QByteArray &datagram : datagrams)
        run.answer(datagram);
    QCOMPARE(run.takeAll(), QStringList{});
}

void TestSsdpDiscovery::everyLocationOncePerRun()
{
    FetcherHarness discovery;
    queue(discovery, QStringLiteral("http://192.0.2.10:49152/desc.xml"));
    queue(discovery, QStringLiteral("http://192.0.2.10:49152/desc.xml"));
    queue(discovery, QStringLiteral("http://192.0.2.10:49152/other.xml"));
    QString first;
    QVERIFY(discovery.locations.takeFirst(first));
    QCOMPARE(first, QStringLiteral("http://192.0.2.10:49152/desc.xml"));

    // A run begins by forgetting the last one: unfetched locations are
    // dropped, and every device is found again.
    discovery.locations.clear();
    QCOMPARE(discovery.takeAll(), QStringList{});
    queue(discovery, QStringLiteral("http://192.0.2.10:49152/desc.xml"));
    QCOMPARE(discovery.takeAll(), QStringList{"http://192.0.2.10:49152/desc.xml"});
}

void TestSsdpDiscovery::capturedAnswers_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("location");
    QSet<QString> listed;
    for (const Samples::Answer &sample : Samples::answers) {
        QTest::newRow(sample.file)
            << Samples::answerPath(sample.file) << QString::fromUtf8(sample.location);
        listed << QLatin1String(sample.file);
    }
    // Every captured answer has its expectation.
    const QStringList files =
        QDir(QStringLiteral(TEST_DATA_DIR "/ssdp-responses")).entryList(QDir::Files);
    QCOMPARE(QSet<QString>(files.begin(), files.end()), listed);
}

void TestSsdpDiscovery::capturedAnswers()
{
    QFETCH(QString, file);
    QFETCH(QString, location);
    const QByteArray datagram = Samples::contents(file);
    QVERIFY(!datagram.isEmpty());
    SearchRun run;
    run.answer(datagram);
    QCOMPARE(run.takeAll(), QStringList{location});
}

void TestSsdpDiscovery::capturedAnswersInOneRun()
{
    // Devices that answer once per service, or from two services, name one
    // location several times: each distinct one is queued once, in order.
    SearchRun run;
    QStringList expected;
    for (const Samples::Answer &sample : Samples::answers) {
        run.answer(Samples::contents(Samples::answerPath(sample.file)));
        if (!expected.contains(QLatin1String(sample.location)))
            expected << QLatin1String(sample.location);
    }
    QCOMPARE(expected.size(), 22);
    QCOMPARE(run.takeAll(), expected);
}

void TestSsdpDiscovery::hostileDatagrams_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<int>("locations");

    QByteArray noise(64000, Qt::Uninitialized);
    QRandomGenerator generator(20240601);
    for (char &c : noise)
        c = char(generator.bounded(256));
    QTest::newRow("64000 random bytes") << noise << 0;
    QTest::newRow("64000 bytes without a line end") << QByteArray(64000, 'L') << 0;
    QTest::newRow("32000 empty lines") << QByteArray(64000, '\n').replace("\n\n", "\r\n") << 0;
    QByteArray many = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; many.size() < 63900; ++i)
        many += "LOCATION:h" + QByteArray::number(i) + "\r\n";
    // One sender's first ones, and one more: past them, one per answer.
    QTest::newRow("thousands of locations in one answer")
        << many << int(SsdpLocations::guaranteedLocationsPerSender + 1);
}

void TestSsdpDiscovery::hostileDatagrams()
{
    QFETCH(QByteArray, datagram);
    QFETCH(int, locations);
    SearchRun run;
    QElapsedTimer clock;
    clock.start();
    run.answer(datagram);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(run.takeAll().size(), locations);
}

QByteArray TestSsdpDiscovery::locationLines(const QStringList &locations)
{
    QByteArray lines;
    for (const QString &location : locations)
        lines += "LOCATION: " + location.toUtf8() + "\r\n";
    return lines;
}

QStringList TestSsdpDiscovery::offeredBy(const QString &host, int count)
{
    QStringList offered;
    for (int i = 1; i <= count; ++i)
        offered << QStringLiteral("http://%1/desc/%2.xml").arg(host).arg(i);
    return offered;
}

void TestSsdpDiscovery::aSendersShare_data()
{
    // New locations of other senders that the run holds first, 64 each.
    QTest::addColumn<int>("held");
    // New locations of one sender: its first 64 in one answer, as a gateway
    // names its embedded devices, then one per answer, as a host with many
    // root devices announces them.
    QTest::addColumn<int>("offered");
    QTest::addColumn<int>("taken");

    QTest::newRow("a sender past 64 while the run is light") << 100 << 200 << 200;
    QTest::newRow("a sender up to half of the run") << 100 << 2000 << 1024 - 100;
    QTest::newRow("the same sender once the run is half full") << 1024 << 200 << 64;
    QTest::newRow("its first 64 as far as the run has room") << 2000 << 200 << 48;
}

void TestSsdpDiscovery::aSendersShare()
{
    QFETCH(int, held);
    QFETCH(int, offered);
    QFETCH(int, taken);
    SearchRun run;
    for (int s = 0; s * 64 < held; ++s) {
        const QString host = QStringLiteral("198.51.100.%1").arg(s + 1);
        run.answer(answer(locationLines(offeredBy(host, qMin(64, held - s * 64)))),
                   QHostAddress(host));
    }
    QCOMPARE(run.takeAll().size(), held);

    const QHostAddress sender(QStringLiteral("192.0.2.66"));
    const QStringList own = offeredBy(sender.toString(), offered);
    run.answer(answer(locationLines(own.first(64))), sender);
    for (const QString &location : own.sliced(64))
        run.answer(answer(locationLines({location})), sender);
    QCOMPARE(run.takeAll(), own.first(taken));

    // A device that answers after it still has its first 64 taken, as far
    // as the run has room.
    const QStringList later = offeredBy(QStringLiteral("192.0.2.10"), 64);
    run.answer(answer(locationLines(later)));
    QCOMPARE(run.takeAll(), later.first(qMin(64, int(SsdpLocations::maxLocations) - held - taken)));

    // Its share counts what it added, fetched or not: once cut off, its
    // later answers are left too. The next run gives it a new share, in
    // which an answer packed with all of them adds one past the first 64.
    run.answer(answer(locationLines({"http://192.0.2.66/later.xml"})), sender);
    QCOMPARE(run.takeAll().size(), taken < offered ? 0 : 1);
    run.locations.clear();
    run.answer(answer(locationLines(own)), sender);
    QCOMPARE(run.takeAll(), own.first(65));
}

void TestSsdpDiscovery::aRunTakesAtMost2048Locations()
{
    // 200 senders offer 64 new locations each: the bound is reached with the
    // answer of the 32nd.
    SearchRun run;
    QStringList offered;
    for (int s = 1; s <= 200; ++s) {
        QStringList own;
        for (int i = 1; i <= 64; ++i)
            own << QStringLiteral("http://198.51.100.%1/desc/%2.xml").arg(s).arg(i);
        run.answer(answer(locationLines(own)),
                   QHostAddress(QStringLiteral("198.51.100.%1").arg(s)));
        offered << own;
    }
    QCOMPARE(run.takeAll(), offered.first(2048));

    // The bound counts what the run has taken, fetched or not.
    run.answer(answer(locationLines({"http://192.0.2.10/desc.xml"})));
    QCOMPARE(run.takeAll(), QStringList{});
    run.locations.clear();
    run.answer(answer(locationLines({"http://192.0.2.10/desc.xml"})));
    QCOMPARE(run.takeAll(), QStringList{"http://192.0.2.10/desc.xml"});
}

void TestSsdpDiscovery::anAnswerIsLeftOnceTheRunIsToEnd()
{
    QStringList offered;
    for (int i = 1; i <= 60; ++i)
        offered << QStringLiteral("http://192.0.2.10/desc/%1.xml").arg(i);
    const QByteArray datagram = answer(locationLines(offered));
    SearchRun run;
    // Asked to end while its lines are read: the lines before are taken.
    int asked = 0;
    run.locations.addAnswer(datagram, SearchRun::device(), [&asked] { return ++asked > 30; });
    const QStringList taken = run.takeAll();
    QVERIFY2(!taken.isEmpty() && taken.size() < offered.size(),
             qPrintable(QString::number(taken.size())));
    QCOMPARE(taken, offered.first(taken.size()));

    // Asked before it is read: nothing is.
    run.locations.clear();
    run.locations.addAnswer(datagram, SearchRun::device(), [] { return true; });
    QCOMPARE(run.takeAll(), QStringList{});
}

void TestSsdpDiscovery::friendlyName_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("name");

    QTest::newRow("plain") << "<device><friendlyName>Living Room</friendlyName></device>"
                           << "Living Room";
    QTest::newRow("entities stay as written") << "<friendlyName>A &amp; B &#x4E1C;</friendlyName>"
                                              << "A &amp; B &#x4E1C;";
    QTest::newRow("white space kept") << "<friendlyName>\n  Hall \t</friendlyName>"
                                      << "\n  Hall \t";
    QTest::newRow("non-ASCII") << QStringLiteral(
                                      "<friendlyName>Wohnzimmer \u6771\u4eac</friendlyName>")
                               << QStringLiteral("Wohnzimmer \u6771\u4eac");
    QTest::newRow("markup inside") << "<friendlyName><b>Bold</b></friendlyName>"
                                   << "<b>Bold</b>";
    QTest::newRow("empty element") << "<friendlyName></friendlyName>"
                                   << "";
    QTest::newRow("the first of several")
        << "<friendlyName>Root</friendlyName><friendlyName>Embedded</friendlyName>"
        << "Root";
    QTest::newRow("closing tag first") << "</friendlyName>Back to front<friendlyName>"
                                       << "Unknown";
    QTest::newRow("an earlier closing tag wins")
        << "</friendlyName><friendlyName>Late</friendlyName>"
        << "Unknown";
    QTest::newRow("opening tag only") << "<friendlyName>Open"
                                      << "Unknown";
    QTest::newRow("closing tag only") << "Closed</friendlyName>"
                                      << "Unknown";
    QTest::newRow("namespace prefix") << "<d:friendlyName>Prefixed</d:friendlyName>"
                                      << "Unknown";
    QTest::newRow("other letter case") << "<FriendlyName>Case</FriendlyName>"
                                       << "Unknown";
    QTest::newRow("with an attribute") << "<friendlyName lang=\"en\">Attr</friendlyName>"
                                       << "Unknown";
    QTest::newRow("no document") << ""
                                 << "Unknown";
}

void TestSsdpDiscovery::friendlyName()
{
    QFETCH(QString, description);
    QFETCH(QString, name);
    QCOMPARE(DescriptionFetcher::friendlyName(description), name);
}

void TestSsdpDiscovery::recordOfAFetchedDescription()
{
    FetcherHarness discovery;
    QSignalSpy spy(&discovery, &DescriptionFetcher::dataReceived);
    queue(discovery, server.url(QStringLiteral("/desc.xml")));
    QCOMPARE(records(spy, 1),
             QStringList{"[Living Room] <" + server.url(QStringLiteral("/desc.xml")) + ">\r\n"});
}

void TestSsdpDiscovery::capturedDescriptionsOverHttp()
{
    FetcherHarness discovery;
    QSignalSpy spy(&discovery, &DescriptionFetcher::dataReceived);
    QSet<QString> expected;
    QSet<QString> listed;
    for (const Samples::Description &sample : Samples::descriptions) {
        const QString url = server.url(QLatin1Char('/') + QLatin1String(sample.file));
        queue(discovery, url);
        expected << record(QString::fromUtf8(sample.friendlyName), url);
        listed << QLatin1String(sample.file);
    }
    const QStringList files =
        QDir(QStringLiteral(TEST_DATA_DIR "/descriptions")).entryList(QDir::Files);
    QCOMPARE(QSet<QString>(files.begin(), files.end()), listed);

    const QStringList found = records(spy, int(expected.size()));
    QCOMPARE(found.size(), expected.size());
    QCOMPARE(QSet<QString>(found.begin(), found.end()), expected);
}

void TestSsdpDiscovery::oneFetchPerLocationPerRun()
{
    FetcherHarness discovery;
    QSignalSpy spy(&discovery, &DescriptionFetcher::dataReceived);
    const QString url = server.url(QStringLiteral("/desc.xml"));
    const qsizetype before = server.requests().count(QStringLiteral("/desc.xml"));
    queue(discovery, url);
    queue(discovery, url);
    QCOMPARE(records(spy, 1).size(), 1);
    QTest::qWait(300); // time for a second fetch that must not happen
    QCOMPARE(spy.count(), 1);
    QCOMPARE(server.requests().count(QStringLiteral("/desc.xml")), before + 1);
    queue(discovery, url); // fetched, and still known
    QCOMPARE(discovery.takeAll(), QStringList{});

    discovery.locations.clear(); // as the next run does first
    queue(discovery, url);
    QCOMPARE(records(spy, 2).size(), 2);
    QCOMPARE(server.requests().count(QStringLiteral("/desc.xml")), before + 2);
}

void TestSsdpDiscovery::locationsDifferingInCaseAreFetchedApart()
{
    FetcherHarness discovery;
    QSignalSpy spy(&discovery, &DescriptionFetcher::dataReceived);
    queue(discovery, server.url(QStringLiteral("/desc.xml")));
    queue(discovery, server.url(QStringLiteral("/Desc.xml")));
    const QStringList found = records(spy, 2);
    QCOMPARE(QSet<QString>(found.begin(), found.end()),
             (QSet<QString>{record("Living Room", server.url(QStringLiteral("/desc.xml"))),
                            record("Hall", server.url(QStringLiteral("/Desc.xml")))}));
}

QString TestSsdpDiscovery::rawAnswer(const QByteArray &answer)
{
    static int answers = 0;
    const QString path = QStringLiteral("/raw/%1").arg(++answers);
    server.route(path, {200, answer, {}, DescriptionServer::Behaviour::Raw});
    return server.url(path);
}

QString TestSsdpDiscovery::httpsUrl(const QString &path)
{
    QFile port(QStringLiteral(HTTPS_SERVER_DIR "/port"));
    if (!port.open(QIODevice::ReadOnly))
        return QString();
    return QStringLiteral("https://127.0.0.1:%1%2")
        .arg(QString::fromLatin1(port.readAll().trimmed()), path);
}

void TestSsdpDiscovery::framing_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("name");

    const QByteArray description =
        "<root><device><friendlyName>Living Room</friendlyName></device></root>";
    const QByteArray length = "Content-Length: " + QByteArray::number(description.size()) + "\r\n";
    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n";
    const QString named = QStringLiteral("Living Room");
    const QString unknown = QStringLiteral("Unknown");

    QTest::newRow("Content-Length") << rawAnswer(ok + length + "\r\n" + description) << named;
    QTest::newRow("a body shorter than the bytes sent")
        << rawAnswer(ok + "Content-Length: 5\r\n\r\nhello" + description) << unknown;
    QTest::newRow("the same Content-Length twice")
        << rawAnswer(ok + length + length + "\r\n" + description) << named;
    QTest::newRow("two differing Content-Lengths")
        << rawAnswer(ok + "Content-Length: 5\r\n" + length + "\r\n" + description) << unknown;
    QTest::newRow("a Content-Length with a sign")
        << rawAnswer(ok + "Content-Length: +" + length.mid(16) + "\r\n" + description) << unknown;
    QTest::newRow("a body that ends with the connection")
        << rawAnswer(ok + "Connection: close\r\n\r\n" + description) << named;
    QTest::newRow("1xx answers before the answer")
        << rawAnswer(
               "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a.css>\r\n\r\n" +
               ok + length + "\r\n" + description)
        << named;
    QTest::newRow("chunks with extensions and trailers")
        << rawAnswer(ok + "Transfer-Encoding: chunked\r\n\r\n" + "1e;name=\"first half\"\r\n" +
                     description.left(30) + "\r\n" +
                     QByteArray::number(description.size() - 30, 16) + "\r\n" +
                     description.mid(30) + "\r\n0\r\nX-Checksum: none\r\n\r\n")
        << named;
    // Never asked for, so never unpacked: unpacked, they would be named "Packed".
    const QByteArray packed = QByteArray::fromBase64(
        "H4sIAAAAAAACA7Mpys8vsbNJSS3LTE61s0krykzNS8mp9EvMTbULSEzOTk2x0UcRtNGHq"
        "dUHawUACcWMyEEAAAA=");
    QTest::newRow("gzip, chunked")
        << rawAnswer(ok + "Transfer-Encoding: gzip, chunked\r\n\r\n" +
                     QByteArray::number(packed.size(), 16) + "\r\n" + packed + "\r\n0\r\n\r\n")
        << unknown;
    QTest::newRow("a compressed body")
        << rawAnswer(ok + "Content-Encoding: gzip\r\nContent-Length: " +
                     QByteArray::number(packed.size()) + "\r\n\r\n" + packed)
        << unknown;
    QTest::newRow("a redirect to a relative reference")
        << rawAnswer("HTTP/1.1 302 Found\r\nLocation: ../desc.xml\r\nContent-Length: 0\r\n\r\n")
        << named;
    QTest::newRow("https with a self-signed certificate")
        << httpsUrl(QStringLiteral("/desc.xml")) << named;
    QTest::newRow("a redirect from https to http")
        << httpsUrl(QStringLiteral("/redirect?to=") + server.url(QStringLiteral("/desc.xml")))
        << unknown;
}

void TestSsdpDiscovery::framing()
{
    QFETCH(QString, location);
    QFETCH(QString, name);
    if (location.isEmpty())
        QSKIP("no https server: ctest starts it (tests/finderly/https_server.py)");
    FetcherHarness discovery;
    QSignalSpy spy(&discovery, &DescriptionFetcher::dataReceived);
    queue(discovery, location);
    QCOMPARE(records(spy, 1), QStringList{record(name, location)});
}

void TestSsdpDiscovery::failedFetches_data()
{
    QTest::addColumn<QString>("location");

    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 refusingPort = closed.serverPort();
    closed.close();

    QTest::newRow("connection refused")
        << QStringLiteral("http://127.0.0.1:%1/desc.xml").arg(refusingPort);
    QTest::newRow("404") << server.url(QStringLiteral("/missing.xml"));
    QTest::newRow("500 with a body") << server.url(QStringLiteral("/error"));
    QTest::newRow("body over 1 MiB") << server.url(QStringLiteral("/huge"));
    QTest::newRow("endless body") << server.url(QStringLiteral("/endless"));
    QTest::newRow("endless chunks") << server.url(QStringLiteral("/endless-chunks"));
    QTest::newRow("redirect to a local file") << server.url(QStringLiteral("/to-local-file"));
    QTest::newRow("redirect to ftp:") << server.url(QStringLiteral("/to-ftp"));
    QTest::newRow("redirect to itself") << server.url(QStringLiteral("/loop"));
}

void TestSsdpDiscovery::failedFetches()
{
    QFETCH(QString, location);
    FetcherHarness discovery;
    QSignalSpy spy(&discovery, &DescriptionFetcher::dataReceived);
    QElapsedTimer clock;
    clock.start();
    queue(discovery, location);
    QCOMPARE(records(spy, 1), QStringList{record("Unknown", location)});
    QVERIFY2(clock.elapsed() < 8000, "failed by the time limit, not at once");
}

void TestSsdpDiscovery::onlyHttpIsFetched_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("shown");

    const QString localUrl = QUrl::fromLocalFile(localFile.fileName()).toString();
    QTest::newRow("file: of a description") << localUrl << localUrl;
    QTest::newRow("file: that never ends") << "file:///dev/zero"
                                           << "file:///dev/zero";
    QTest::newRow("ftp: to a listening port")
        << QStringLiteral("ftp://127.0.0.1:%1/desc.xml").arg(server.serverPort())
        << QStringLiteral("ftp://127.0.0.1:%1/desc.xml").arg(server.serverPort());
    QTest::newRow("data:") << "data:text/xml,%3CfriendlyName%3EData%3C/friendlyName%3E"
                           << "data:text/xml,%3CfriendlyName%3EData%3C/friendlyName%3E";
    QTest::newRow("qrc:") << "qrc:/desc.xml"
                          << "qrc:/desc.xml";
    QTest::newRow("empty location") << ""
                                    << "";
    QTest::newRow("no scheme") << "192.168.1.1"
                               << "192.168.1.1";
}

void TestSsdpDiscovery::onlyHttpIsFetched()
{
    QFETCH(QString, location);
    QFETCH(QString, shown);
    FetcherHarness discovery;
    QSignalSpy spy(&discovery, &DescriptionFetcher::dataReceived);
    const int connectionsBefore = server.connections();
    queue(discovery, location);
    // Reported when the location is taken, without a request.
    discovery.fetchQueued();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), record("Unknown", shown));
    QVERIFY(discovery.isIdle());
    QTest::qWait(200);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(server.connections(), connectionsBefore);
}

void TestSsdpDiscovery::aServerThatNeverAnswersFailsAfterTenSeconds()
{
    FetcherHarness discovery;
    QSignalSpy spy(&discovery, &DescriptionFetcher::dataReceived);
    const QString url = server.url(QStringLiteral("/silent"));
    QElapsedTimer clock;
    clock.start();
    queue(discovery, url);
    QCOMPARE(records(spy, 1, 20000), QStringList{record("Unknown", url)});
    QVERIFY2(clock.elapsed() >= 9900 && clock.elapsed() < 12000,
             qPrintable(QString::number(clock.elapsed())));
}

void TestSsdpDiscovery::descriptionsUpToOneMebibyteAreRead()
{
    const QByteArray open = "<root><friendlyName>Just fits</friendlyName>";
    server.route(QStringLiteral("/at-the-limit"),
                 open + QByteArray(1024 * 1024 - open.size(), ' '));
    server.route(QStringLiteral("/one-byte-over"),
                 open + QByteArray(1024 * 1024 + 1 - open.size(), ' '));
    FetcherHarness discovery;
    QSignalSpy spy(&discovery, &DescriptionFetcher::dataReceived);
    queue(discovery, server.url(QStringLiteral("/at-the-limit")));
    QCOMPARE(records(spy, 1),
             QStringList{record("Just fits", server.url(QStringLiteral("/at-the-limit")))});
    queue(discovery, server.url(QStringLiteral("/one-byte-over")));
    QCOMPARE(records(spy, 2).value(1),
             record("Unknown", server.url(QStringLiteral("/one-byte-over"))));
}

void TestSsdpDiscovery::theFetcherIsIdleOnceEveryFetchIsHandled()
{
    FetcherHarness discovery;
    QSignalSpy spy(&discovery, &DescriptionFetcher::dataReceived);
    QVERIFY(discovery.isIdle());
    queue(discovery, server.url(QStringLiteral("/desc.xml")));
    queue(discovery, server.url(QStringLiteral("/missing.xml")));
    queue(discovery, server.url(QStringLiteral("/endless")));
    // All queued locations are taken at once.
    discovery.fetchQueued();
    QCOMPARE(discovery.takeAll(), QStringList{});
    QVERIFY(!discovery.isIdle());
    QCOMPARE(records(spy, 3).size(), 3);
    QVERIFY(discovery.isIdle());
}

void TestSsdpDiscovery::aHostWhoseHeaderNeverEndsHoldsUpNoOther()
{
    for (int i = 1; i <= 6; ++i) {
        server.route(QStringLiteral("/endless-header/%1").arg(i),
                     {200, {}, {}, DescriptionServer::Behaviour::EndlessHeader});
        server.route(QStringLiteral("/silent/%1").arg(i),
                     {200, {}, {}, DescriptionServer::Behaviour::Silent});
    }
    DescriptionServer other{QHostAddress(QStringLiteral("127.0.0.2"))}; // another host
    other.route(QStringLiteral("/desc.xml"),
                "<root><device><friendlyName>Other</friendlyName></device></root>");
    // The connections of earlier tests close on the server's side in their time.
    QTRY_COMPARE(server.openConnections(), 0);

    // Closed while a fetch is open: at once, and its connection with it.
    {
        auto closing = std::make_unique<FetcherHarness>();
        queue(*closing, server.url(QStringLiteral("/silent/1")));
        QTRY_COMPARE(server.openConnections(), 1);
        QElapsedTimer clock;
        clock.start();
        closing.reset();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QTRY_COMPARE(server.openConnections(), 0);
    }

    // One host's endless headers, then more fetches that it holds open than
    // its share, a description of its own and one of another host.
    FetcherHarness discovery;
    QSignalSpy spy(&discovery, &DescriptionFetcher::dataReceived);
    QSet<QString> expected;
    for (const QString &kind : {QStringLiteral("endless-header"), QStringLiteral("silent")}) {
        for (int i = 1; i <= 6; ++i) {
            const QString url = server.url(QStringLiteral("/%1/%2").arg(kind).arg(i));
            queue(discovery, url);
            expected << record("Unknown", url);
        }
    }
    queue(discovery, server.url(QStringLiteral("/desc.xml")));
    queue(discovery, other.url(QStringLiteral("/desc.xml")));
    const QString fromOther = record("Other", other.url(QStringLiteral("/desc.xml")));
    expected << record("Living Room", server.url(QStringLiteral("/desc.xml"))) << fromOther;
    QTRY_VERIFY_WITH_TIMEOUT(records(spy, 0).contains(fromOther), 5000);

    // A header longer than any device's fails at once, one held open after
    // ten seconds; each gives its connection back, and the host's later
    // fetches go out.
    const QStringList found = records(spy, int(expected.size()), 30000);
    QCOMPARE(found.size(), expected.size());
    QCOMPARE(QSet<QString>(found.begin(), found.end()), expected);
    QTRY_COMPARE(server.openConnections(), 0);
}

void TestSsdpDiscovery::eachHostHasItsShareAndTheHostsTakeTurns()
{
    // Ten hosts hold their six fetches open, the first over two ports: 60 of
    // the 64 fetches. Then one host with many quick descriptions, then one
    // with a single one.
    std::vector<std::unique_ptr<DescriptionServer>> holding;
    QStringList held;
    for (int h = 1; h <= 10; ++h) {
        for (int port = 0; port < (h == 1 ? 2 : 1); ++port) {
            holding.push_back(std::make_unique<DescriptionServer>(
                QHostAddress(QStringLiteral("127.0.0.%1").arg(h))));
            for (int i = 1; i <= 6; ++i) {
                holding.back()->route(QStringLiteral("/silent/%1").arg(i),
                                      {200, {}, {}, DescriptionServer::Behaviour::Silent});
                held << holding.back()->url(QStringLiteral("/silent/%1").arg(i));
            }
        }
    }
    const auto openOnFirstHost = [&holding] {
        return holding[0]->openConnections() + holding[1]->openConnections();
    };
    DescriptionServer busy{QHostAddress(QStringLiteral("127.0.0.11"))};
    DescriptionServer single{QHostAddress(QStringLiteral("127.0.0.12"))};
    QStringList quick;
    for (int i = 1; i <= 40; ++i) {
        busy.route(QStringLiteral("/desc/%1").arg(i), "<friendlyName>Busy</friendlyName>");
        quick << busy.url(QStringLiteral("/desc/%1").arg(i));
    }
    single.route(QStringLiteral("/desc.xml"), "<friendlyName>Single</friendlyName>");

    // Each host answers for itself, within its sender's share of the run.
    FetcherHarness discovery;
    QSignalSpy spy(&discovery, &DescriptionFetcher::dataReceived);
    for (qsizetype i = 0; i < held.size(); i += 6) {
        discovery.answer(answer(locationLines(held.mid(i, 6))),
                         QHostAddress(QStringLiteral("198.51.100.%1").arg(i / 6 + 1)));
    }
    discovery.fetchQueued();
    discovery.answer(answer(locationLines(quick)), QHostAddress(QStringLiteral("198.51.100.50")));
    discovery.answer(answer(locationLines({single.url(QStringLiteral("/desc.xml"))})),
                     QHostAddress(QStringLiteral("198.51.100.51")));

    // The single host's one fetch goes out with the first free one, not
    // after the busy host's queue.
    const QStringList found = records(spy, 41, 8000);
    QCOMPARE(found.size(), 41);
    const qsizetype turn =
        found.indexOf(record(QStringLiteral("Single"), single.url(QStringLiteral("/desc.xml"))));
    QVERIFY2(turn >= 0 && turn < 8, qPrintable(QString::number(turn)));
    // The first host's share is one, whatever the ports.
    QCOMPARE(openOnFirstHost(), 6);
    QVERIFY(!discovery.isIdle());

    // Dropped and aborted: no record, and every connection closed.
    discovery.clear();
    QVERIFY(discovery.isIdle());
    QTRY_VERIFY(std::all_of(holding.begin(), holding.end(),
                            [](const auto &server) { return server->openConnections() == 0; }));
    QTest::qWait(200);
    QCOMPARE(spy.count(), 41);
}

QTEST_GUILESS_MAIN(TestSsdpDiscovery)
#include "tst_ssdpdiscovery.moc"
