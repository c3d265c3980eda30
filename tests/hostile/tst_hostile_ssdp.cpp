// Finderly's SSDP discovery on a hostile network: a host in segment a floods
// port 1901, from its own address or from many, and serves descriptions that
// misbehave, while simulated devices in both segments answer as usual.
// ssdp_driver runs the discovery as the program does; every device is still
// reported once (of a sender that packs more locations into its answers than
// its first 64, those and one more per answer), also those that answer during
// the flood; every fetch gives its connection back within its time bound, the
// event loop keeps ticking, the search stops at once when asked and its memory
// stays bounded.

#include "hostile.h"
#include "testnetwork.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <algorithm>

namespace {

const QString driver = QStringLiteral(SSDP_DRIVER);
const QString floodHost = QStringLiteral("192.0.2.10:8080");
// The flooder may send from the extra addresses of segment a that follow its
// own; the simulated devices there take the last one.
constexpr int extraAddresses = 90;
const QString lampAddress = QStringLiteral("192.0.2.100");
constexpr int maxLatenessMs = 250;
constexpr int maxStopMs = 1000;
constexpr qint64 peakLimitKib = 200 * 1024;
// Locations of one sender in a search run that are taken however it packs
// them; past them, one per answer.
constexpr int senderShare = 64;
// A fetch and its connection end within 10 s and one sweep; the server
// notices the closed connection within a second.
constexpr double maxHeldSeconds = 12.5;

QString record(const QString &name, const QString &hostAndPort, const QString &path)
{
    return QStringLiteral("[%1] <http://%2%3>").arg(name, hostAndPort, path);
}

QStringList floodRecords(int count, bool named)
{
    QStringList list;
    for (int i = 1; i <= count; ++i) {
        list << record(named ? QStringLiteral("Flood Device %1").arg(i) : QStringLiteral("Unknown"),
                       floodHost, QStringLiteral("/desc/%1.xml").arg(i));
    }
    return list;
}

} // namespace

class TestHostileSsdp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void floods_data();
    void floods();

private:
    QString log() const { return scratch.filePath(QStringLiteral("flood.log")); }
    QString deviceLog() const { return scratch.filePath(QStringLiteral("devices.log")); }

    TestNetwork network;
    QTemporaryDir scratch;
};

void TestHostileSsdp::initTestCase()
{
    if (!TestNetwork::available())
        QSKIP("needs root and iproute2 for network namespaces");
    QVERIFY(scratch.isValid());
}

void TestHostileSsdp::cleanup()
{
    network.down();
    QFile::remove(log());
    QFile::remove(deviceLog());
}

void TestHostileSsdp::floods_data()
{
    QTest::addColumn<QStringList>("floodArguments");
    QTest::addColumn<int>("expectedDatagrams");
    QTest::addColumn<int>("driverSeconds");
    QTest::addColumn<QStringList>("floodRecords");
    // Whether the search must read the datagrams as fast as they come, so
    // that the kernel drops none: small ones at a tenth of what it reads on
    // an idle machine. A few 64 KB datagrams fill a socket's buffer.
    QTest::addColumn<bool>("keepsUp");
    // Whether the flooder packs more locations into its answers than its
    // share, so that past the records above it has at most one more of each
    // answer.
    QTest::addColumn<bool>("cutOff");

    QTest::newRow("garbage") << QStringList{"--kind", "garbage", "--rate", "500"} << 1500 << 5
                             << QStringList() << true << false;
    // An empty datagram is a datagram read, not a quiet socket.
    QTest::newRow("empty datagrams") << QStringList{"--kind", "empty", "--rate", "500"} << 1500 << 5
                                     << QStringList() << true << false;
    // Only the first 64000 bytes of a datagram are read: a LOCATION beyond
    // them is never fetched, one at the start is.
    QTest::newRow("64 KB datagrams")
        << QStringList{"--kind", "huge", "--rate", "300"} << 900 << 5
        << QStringList{record(QStringLiteral("Flood Huge Within"), floodHost,
                              QStringLiteral("/huge-within.xml"))}
        << false << false;
    QTest::newRow("thousands of lines")
        << QStringList{"--kind", "lines", "--count", "50", "--rate", "50"} << 150 << 6
        << floodRecords(50, true) << false << false;
    // Each answer comes twice, each sender's 50 devices within its share:
    // their fetches all start within a few ticks.
    QTest::newRow("thousands of distinct answers from 40 senders")
        << QStringList{"--kind",    "distinct", "--count", "2000", "--rate",          "1000",
                       "--seconds", "5",        "--spoof", "40",   "--max-datagrams", "4000"}
        << 4000 << 9 << floodRecords(2000, true) << false << false;
    // 5000 locations in four answers of one sender.
    QTest::newRow("thousands of locations in a few answers")
        << QStringList{"--kind", "locations", "--count", "5000", "--rate", "20"} << 60 << 10
        << floodRecords(senderShare, true) << false << true;
    // Every fetch is given up after 10 s and gives its connection back; the
    // host's share of six fetches at a time takes its 12 that are held open
    // in two rounds.
    QTest::newRow("descriptions that trickle, hang, never end their header or are too large")
        << QStringList{"--kind",          "distinct",
                       "--count",         "24",
                       "--rate",          "100",
                       "--max-datagrams", "100",
                       "--http",          "trickle,hang,endless-header,huge"}
        << 100 << 24 << floodRecords(24, false) << true << false;
    // 40 answers a second, each of about 1,300 new locations, outlast the
    // search: it is stopped in the middle of the flood.
    QTest::newRow("a long flood of new locations")
        << QStringList{"--kind",    "fresh", "--rate",          "40",
                       "--seconds", "20",    "--max-datagrams", "800"}
        << 800 << 16 << floodRecords(senderShare, true) << false << true;
    // 200 answers a second, each of one new location of 60,000 bytes, far
    // longer than any device's.
    QTest::newRow("a long flood of fat locations")
        << QStringList{"--kind",    "fat", "--rate",          "200",
                       "--seconds", "20",  "--max-datagrams", "4000"}
        << 4000 << 16 << QStringList() << false << false;
}

void TestHostileSsdp::floods()
{
    QFETCH(QStringList, floodArguments);
    QFETCH(int, expectedDatagrams);
    QFETCH(int, driverSeconds);
    QFETCH(QStringList, floodRecords);
    QFETCH(bool, keepsUp);
    QFETCH(bool, cutOff);

    QVERIFY(network.up(TestNetwork::Shape::Lan, extraAddresses));
    // Their answers are spread over the first 2.5 s of the 3 s flood, those
    // of the yard devices over 1.5 to 2.5 s: late into it.
    QVERIFY(network.startSimulator('a', QStringLiteral("ssdp_sim.py"),
                                   {"--address", lampAddress, "--devices", "5", "--name-prefix",
                                    "Lamp %d", "--delay-max-ms", "2500", "--log", deviceLog()}));
    QVERIFY(network.startSimulator('b', QStringLiteral("ssdp_sim.py"),
                                   {"--address", "198.51.100.10", "--devices", "5", "--name-prefix",
                                    "Yard %d", "--delay-min-ms", "1500", "--delay-max-ms", "2500",
                                    "--log", deviceLog()}));
    QVERIFY(network.startSimulator('a', QStringLiteral("flood.py"),
                                   QStringList{"--ssdp", "--address", "192.0.2.10", "--http-port",
                                               "8080", "--seconds", "3", "--log", log()} +
                                       floodArguments));

    const qint64 dropsBefore = Hostile::receiveBufferErrors(network);
    QVERIFY(dropsBefore >= 0);
    QByteArray output;
    QCOMPARE(network.run('h', driver, {QString::number(driverSeconds)}, (driverSeconds + 90) * 1000,
                         &output),
             0);
    const qint64 drops = Hostile::receiveBufferErrors(network) - dropsBefore;

    // A flood that outlasts the search is logged once it has ended.
    QTRY_VERIFY_WITH_TIMEOUT(!Hostile::onlyFlood(log()).isEmpty(), 30000);
    const QJsonObject flood = Hostile::onlyFlood(log());
    QVERIFY2(flood.value(QLatin1String("sent")).toInt() >= expectedDatagrams * 9 / 10,
             qPrintable(QJsonDocument(flood).toJson(QJsonDocument::Compact)));
    QCOMPARE(flood.value(QLatin1String("errors")).toInt(), 0);

    QStringList records;
    QMap<QString, qint64> figures;
    int ticks = 0;
    const QList<QByteArray> lines = output.split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith('[')) {
            QVERIFY2(line.endsWith('\r'), line.constData()); // each record ends in CR LF
            records << QString::fromUtf8(line.chopped(1));
        } else if (line.startsWith("tick ")) {
            ++ticks;
        } else if (!line.isEmpty()) {
            const QList<QByteArray> words = line.split(' ');
            QCOMPARE(words.size(), 2);
            figures.insert(QString::fromLatin1(words[0]), words[1].toLongLong());
        }
    }

    qInfo("%d datagrams, %lld dropped: max lateness %lld ms over %d ticks, stopped in %lld ms, "
          "peak RSS %lld KiB",
          flood.value(QLatin1String("sent")).toInt(), drops,
          figures.value(QStringLiteral("max-lateness")), ticks,
          figures.value(QStringLiteral("stopped")), figures.value(QStringLiteral("peak-rss-kib")));
    if (keepsUp)
        QCOMPARE(drops, 0);

    // Every device, also those that first answered a second into the flood:
    // one host cannot hide the others.
    QStringList devices;
    for (int i = 1; i <= 5; ++i) {
        const QString path = QStringLiteral("/desc/%1.xml").arg(i);
        devices << record(QStringLiteral("Lamp %1").arg(i), lampAddress + QStringLiteral(":49152"),
                          path)
                << record(QStringLiteral("Yard %1").arg(i), QStringLiteral("198.51.100.10:49152"),
                          path);
    }
    const double floodBegan = flood.value(QLatin1String("first")).toDouble();
    const QList<QJsonObject> answers = jsonLines(deviceLog(), QStringLiteral("ssdp"));
    QVERIFY(floodBegan > 0);
    QVERIFY(std::none_of(answers.begin(), answers.end(), [floodBegan](const QJsonObject &a) {
        return a.value(QLatin1String("name")).toString().startsWith(QLatin1String("Yard")) &&
               a.value(QLatin1String("time")).toDouble() < floodBegan + 1.0;
    }));
    QStringList flooded = floodRecords;
    if (cutOff) {
        const QRegularExpression oneMore(QRegularExpression::anchoredPattern(
            QStringLiteral("\\[Flood Device (\\d+)\\] <http://%1/desc/\\1\\.xml>")
                .arg(QRegularExpression::escape(floodHost))));
        for (const QString &r : std::as_const(records)) {
            if (!floodRecords.contains(r) && oneMore.match(r).hasMatch())
                flooded << r;
        }
        QVERIFY2(flooded.size() - floodRecords.size() <= flood.value(QLatin1String("sent")).toInt(),
                 qPrintable(QString::number(flooded.size())));
    }
    const QStringList expected = flooded + devices;
    const QSet<QString> found(records.begin(), records.end());
    const QSet<QString> missing = QSet<QString>(expected.begin(), expected.end()) - found;
    QVERIFY2(missing.isEmpty(),
             qPrintable(QStringLiteral("%1 missing, e.g. %2")
                            .arg(missing.size())
                            .arg(missing.isEmpty() ? QString() : *missing.begin())));
    QCOMPARE(found, QSet<QString>(expected.begin(), expected.end()));
    QCOMPARE(records.size(), expected.size()); // each once

    // Nothing was fetched from the flooder but the locations of its records.
    QSet<QString> paths;
    for (const QString &r : std::as_const(flooded))
        paths << QUrl(r.section(QLatin1Char('<'), 1).chopped(1)).path();
    const QList<QJsonObject> requests = jsonLines(log(), QStringLiteral("http"));
    for (const QJsonObject &request : requests)
        QVERIFY2(paths.contains(request.value(QLatin1String("path")).toString()),
                 qPrintable(request.value(QLatin1String("path")).toString()));
    // However a server answers, its connection is given back within the
    // bound of a fetch, not when the search ends.
    QTRY_COMPARE_WITH_TIMEOUT(jsonLines(log(), QStringLiteral("http-end")).size(), requests.size(),
                              10000);
    for (const QJsonObject &end : jsonLines(log(), QStringLiteral("http-end"))) {
        const double held = end.value(QLatin1String("held")).toDouble();
        QVERIFY2(held < maxHeldSeconds,
                 qPrintable(QStringLiteral("%1 held %2 s")
                                .arg(end.value(QLatin1String("mode")).toString())
                                .arg(held)));
    }

    QVERIFY(figures.contains(QStringLiteral("max-lateness")));
    QVERIFY2(figures.value(QStringLiteral("max-lateness")) < maxLatenessMs,
             qPrintable(QString::number(figures.value(QStringLiteral("max-lateness")))));
    QVERIFY2(ticks >= 2 * driverSeconds - 1, qPrintable(QString::number(ticks)));
    QVERIFY(figures.contains(QStringLiteral("stopped")));
    QVERIFY2(figures.value(QStringLiteral("stopped")) < maxStopMs,
             qPrintable(QString::number(figures.value(QStringLiteral("stopped")))));
    const qint64 peak = figures.value(QStringLiteral("peak-rss-kib"), -1);
    QVERIFY2(peak > 0 && peak < peakLimitKib, qPrintable(QString::number(peak)));
}

QTEST_GUILESS_MAIN(TestHostileSsdp)
#include "tst_hostile_ssdp.moc"
