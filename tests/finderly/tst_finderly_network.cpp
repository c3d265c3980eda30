// Finderly's native side end to end: the probe driver (the runner with the
// real Lenscout, SSDP discovery and the back end, wired as the program wires
// them) in the host namespace of a virtual LAN, simulated cameras and SSDP
// devices on its segments.

#include "samples.h"
#include "testnetwork.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <algorithm>

namespace {

constexpr int driverTimeoutMs = 90000;

const QByteArray searchRequest = "M-SEARCH * HTTP/1.1\r\n"
                                 "HOST:239.255.255.250:1900\r\n"
                                 "MAN:\"ssdp:discover\"\r\n"
                                 "ST:ssdp:all\r\n"
                                 "MX:3\r\n"
                                 "\r\n";

QList<QJsonObject> jsonLines(const QByteArray &text)
{
    QList<QJsonObject> lines;
    for (const QByteArray &line : text.split('\n')) {
        if (!line.trimmed().isEmpty())
            lines << QJsonDocument::fromJson(line).object();
    }
    return lines;
}

QList<QJsonObject> jsonFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? jsonLines(file.readAll()) : QList<QJsonObject>();
}

// A pair as the back end handed it out; sorted lists of them compare as multisets.
QString pair(const QString &name, const QString &address)
{
    return name + QLatin1String(" | ") + address;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// What the driver printed.
struct Run
{
    QList<QJsonObject> lines;

    QStringList pairs(int scan) const
    {
        QStringList list;
        for (const QJsonObject &line : lines) {
            if (line.value(QLatin1String("scan")).toInt() == scan &&
                line.contains(QLatin1String("address"))) {
                list << pair(line.value(QLatin1String("name")).toString(),
                             line.value(QLatin1String("address")).toString());
            }
        }
        return sorted(list);
    }
    QList<QJsonObject> records(const QString &way) const
    {
        QList<QJsonObject> list;
        for (const QJsonObject &line : lines) {
            if (line.value(QLatin1String("way")).toString() == way)
                list << line;
        }
        return list;
    }
    qint64 last(const char *key) const
    {
        return lines.isEmpty() ? -1 : lines.last().value(QLatin1String(key)).toInteger(-1);
    }
};

// Splits items into as few groups as possible in which no two share a path:
// one simulator serves each path once.
template<typename T, typename PathOf>
QList<QList<T>> withDistinctPaths(const QList<T> &items, PathOf pathOf)
{
    QList<QList<T>> groups;
    QList<QStringList> paths;
    for (const T &item : items) {
        qsizetype g = 0;
        while (g < groups.size() && paths[g].contains(pathOf(item)))
            ++g;
        if (g == groups.size()) {
            groups.append(QList<T>());
            paths.append(QStringList());
        }
        groups[g] << item;
        paths[g] << pathOf(item);
    }
    return groups;
}

// The location of a captured answer once the simulator at host has pointed
// it at itself; a location that is no URL is sent unchanged.
QString rewritten(const QString &location, const QString &host)
{
    const qsizetype authority = location.indexOf(QLatin1String("://"));
    if (authority < 0)
        return location;
    const qsizetype path = location.indexOf(QLatin1Char('/'), authority + 3);
    return location.left(authority + 3) + host + location.mid(path);
}

} // namespace

class TestFinderlyNetwork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void searchDatagramOnTheWire();
    void bothWaysFillTheQueueOncePerScan();
    void capturedDevices();
    void misbehavingDevices();

private:
    bool startSsdp(char side, const QStringList &arguments);
    bool startCameras(char side, const QStringList &arguments);
    Run runDriver(int scans, double scanSeconds);

    TestNetwork network;
    QTemporaryDir scratch;
};

void TestFinderlyNetwork::initTestCase()
{
    if (!TestNetwork::available())
        QSKIP("needs root and iproute2 for network namespaces");
    QVERIFY(scratch.isValid());
}

void TestFinderlyNetwork::cleanup()
{
    network.down();
}

bool TestFinderlyNetwork::startSsdp(char side, const QStringList &arguments)
{
    return network.startSimulator(side, QStringLiteral("ssdp_sim.py"), arguments);
}

bool TestFinderlyNetwork::startCameras(char side, const QStringList &arguments)
{
    return network.startSimulator(side, QStringLiteral("camera_sim.py"), arguments);
}

Run TestFinderlyNetwork::runDriver(int scans, double scanSeconds)
{
    QByteArray output;
    const int status = network.run(
        'h', QStringLiteral(FINDERLY_PROBE_DRIVER),
        {"--scans", QString::number(scans), "--scan-seconds", QString::number(scanSeconds)},
        driverTimeoutMs, &output);
    return {status == 0 ? jsonLines(output) : QList<QJsonObject>()};
}

void TestFinderlyNetwork::searchDatagramOnTheWire()
{
    QVERIFY(network.up());
    const QString captureA = scratch.filePath(QStringLiteral("search-a.json"));
    const QString captureB = scratch.filePath(QStringLiteral("search-b.json"));
    QVERIFY(startSsdp('a', {"--address", "192.0.2.10", "--capture", captureA}));
    QVERIFY(startSsdp('b', {"--address", "198.51.100.10", "--capture", captureB}));
    const Run run = runDriver(2, 2);
    QVERIFY(!run.lines.isEmpty());

    // One request per local address and scan, never repeated within a scan.
    for (const auto &[capture, source] : {std::pair{captureA, QStringLiteral("192.0.2.1")},
                                          std::pair{captureB, QStringLiteral("198.51.100.1")}}) {
        const QList<QJsonObject> datagrams = jsonFile(capture);
        QCOMPARE(datagrams.size(), 2);
        for (const QJsonObject &datagram : datagrams) {
            QCOMPARE(datagram.value(QLatin1String("src")).toString(), source);
            QCOMPARE(datagram.value(QLatin1String("port")).toInt(), 1901);
            QCOMPARE(datagram.value(QLatin1String("len")).toInt(), 90);
            QCOMPARE(QByteArray::fromBase64(
                         datagram.value(QLatin1String("data_b64")).toString().toLatin1()),
                     searchRequest);
        }
    }
}

void TestFinderlyNetwork::bothWaysFillTheQueueOncePerScan()
{
    QVERIFY(network.up());
    const QString logA = scratch.filePath(QStringLiteral("ssdp-a.log"));
    const QString logB = scratch.filePath(QStringLiteral("ssdp-b.log"));
    QVERIFY(
        startCameras('a', {"--address", "192.0.2.10", "--device", "name=Front Door", "--device",
                           "name=Kamera Müller 東京;xaddrs=http://{ip}:8080/onvif/device_service",
                           "--device", "name=[TV] Lab Camera (2)"}));
    QVERIFY(startCameras('b', {"--address", "198.51.100.10", "--device", "name=Yard"}));
    // Every device answers once per service it offers, 4 to 6 times.
    QVERIFY(startSsdp('a', {"--address", "192.0.2.10", "--devices", "3", "--log", logA}));
    QVERIFY(startSsdp('b',
                      {"--address", "198.51.100.10", "--device", "name=A &amp; B", "--device",
                       "name=Wohnzimmer Müller 東京", "--device", "name=[TV] Samsung 7 Series (50)",
                       "--device", "name=a<b>c", "--log", logB}));
    const Run run = runDriver(2, 9);
    QVERIFY(!run.lines.isEmpty());

    const QStringList expected = sorted({
        pair("Front Door", "http://192.0.2.10"),
        pair("Kamera Müller 東京", "http://192.0.2.10:8080"),
        pair("[TV] Lab Camera (2)", "http://192.0.2.10"),
        pair("Yard", "http://198.51.100.10"),
        pair("Sim Device 1", "http://192.0.2.10:49152/desc/1.xml"),
        pair("Sim Device 2", "http://192.0.2.10:49152/desc/2.xml"),
        pair("Sim Device 3", "http://192.0.2.10:49152/desc/3.xml"),
        pair("A &amp; B", "http://198.51.100.10:49152/desc/1.xml"),
        pair("Wohnzimmer Müller 東京", "http://198.51.100.10:49152/desc/2.xml"),
        pair("[TV] Samsung 7 Series (50)", "http://198.51.100.10:49152/desc/3.xml"),
        pair("a<b>c", "http://198.51.100.10:49152/desc/4.xml"),
    });
    QCOMPARE(run.pairs(1), expected);
    QCOMPARE(run.pairs(2), expected); // a rescan finds and reports everything again
    QCOMPARE(run.records(QStringLiteral("lenscout")).size(), 2 * 4);
    QCOMPARE(run.records(QStringLiteral("ssdp")).size(), 2 * 7);
    QCOMPARE(run.records(QStringLiteral("ssdp"))
                 .first()
                 .value(QLatin1String("record"))
                 .toString()
                 .right(3),
             QStringLiteral(">\r\n"));

    // Each description was fetched once per scan, however often it was announced.
    for (const QString &log : {logA, logB}) {
        QMap<QString, int> fetches;
        int answers = 0;
        for (const QJsonObject &line : jsonFile(log)) {
            if (line.value(QLatin1String("event")).toString() == u"http")
                ++fetches[line.value(QLatin1String("path")).toString()];
            if (line.value(QLatin1String("event")).toString() == u"ssdp")
                ++answers;
        }
        QVERIFY(answers > 2 * fetches.size());
        for (auto it = fetches.cbegin(); it != fetches.cend(); ++it)
            QVERIFY2(it.value() == 2, qPrintable(it.key()));
    }
}

void TestFinderlyNetwork::capturedDevices()
{
    // Segment a: every captured answer, pointed at its simulator. Segment b:
    // every captured description behind a generated answer, and the captured
    // answer-description pairs of the same devices.
    using Answer = Samples::Answer;
    using Pair = Samples::Pair;
    const auto answerPath = [](const Answer &a) {
        return QUrl(QLatin1String(a.location)).path();
    };
    const auto pairPath = [](const Pair &p) {
        for (const Answer &a : Samples::answers) {
            if (qstrcmp(a.file, p.answer) == 0)
                return QUrl(QLatin1String(a.location)).path();
        }
        return QString();
    };
    const auto answerGroups = withDistinctPaths(
        QList<Answer>(std::begin(Samples::answers), std::end(Samples::answers)), answerPath);
    const auto pairGroups = withDistinctPaths(
        QList<Pair>(std::begin(Samples::pairs), std::end(Samples::pairs)), pairPath);
    QVERIFY(network.up(TestNetwork::Shape::Lan,
                       int(qMax(answerGroups.size(), pairGroups.size() + 1)) - 1));

    QStringList expected;
    for (qsizetype g = 0; g < answerGroups.size(); ++g) {
        const QString address = QStringLiteral("192.0.2.%1").arg(10 + g);
        QStringList arguments{"--address", address, "--rewrite-location"};
        for (const Answer &answer : answerGroups[g]) {
            const QString name = QLatin1String(answer.file);
            arguments << "--device"
                      << "name=" + name + ";response=" + Samples::answerPath(answer.file);
            const QString location =
                rewritten(QLatin1String(answer.location), address + QLatin1String(":49152"));
            expected << pair(location.startsWith(u"http") ? name : QStringLiteral("Unknown"),
                             location);
        }
        QVERIFY(startSsdp('a', arguments));
    }

    QStringList descriptions{"--address", "198.51.100.10"};
    int index = 0;
    for (const Samples::Description &description : Samples::descriptions) {
        descriptions << "--device"
                     << "desc=" + Samples::descriptionPath(description.file);
        expected << pair(QString::fromUtf8(description.friendlyName),
                         QStringLiteral("http://198.51.100.10:49152/desc/%1.xml").arg(++index));
    }
    QVERIFY(startSsdp('b', descriptions));
    for (qsizetype g = 0; g < pairGroups.size(); ++g) {
        const QString address = QStringLiteral("198.51.100.%1").arg(11 + g);
        QStringList arguments{"--address", address, "--rewrite-location"};
        for (const Pair &p : pairGroups[g]) {
            arguments << "--device"
                      << "response=" + Samples::answerPath(p.answer) +
                             ";desc=" + Samples::descriptionPath(p.description);
            expected << pair(QString::fromUtf8(Samples::friendlyNameOf(p.description)),
                             QStringLiteral("http://") + address + QStringLiteral(":49152") +
                                 pairPath(p));
        }
        QVERIFY(startSsdp('b', arguments));
    }

    const Run run = runDriver(1, 6);
    QVERIFY(!run.lines.isEmpty());
    QCOMPARE(run.pairs(1), sorted(expected));
}

void TestFinderlyNetwork::misbehavingDevices()
{
    QVERIFY(network.up());
    const QString log = scratch.filePath(QStringLiteral("misbehaving.log"));
    const QStringList devices{
        "name=Good",
        "name=Not Found;http=404",
        "refused=1",
        "body=huge",
        "body=endless",
        "body=endless-raw",
        "body=trickle",
        "body=hang",
        "scheme=file",
        "scheme=ftp",
        "scheme=data",
        "emptyloc=1",
        "name=LF only;lf=1",
        "name=Spaced;locspace=1",
        "name=Lower;case=lower",
        "name=Mixed;case=mixed",
        "name=Twice;multiloc=1",
        "name=A &amp; B",
        "name=Wohnzimmer Müller 東京",
    };
    // An answer longer than the receive buffer: only its first 64000 bytes count.
    const QString longAnswer = scratch.filePath(QStringLiteral("long-answer.txt"));
    {
        QFile file(longAnswer);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray answer = "HTTP/1.1 200 OK\r\nLOCATION: http://192.0.2.10:49152/desc/20.xml\r\n";
        answer += "X-PAD: " + QByteArray(64100 - answer.size(), 'p') + "\r\n";
        answer += "LOCATION: http://192.0.2.10:49152/beyond-the-buffer.xml\r\n\r\n";
        file.write(answer);
    }
    QStringList arguments{"--address", "192.0.2.10", "--log", log};
    for (const QString &device : devices)
        arguments << "--device" << device;
    arguments << "--device"
              << "name=Long answer;response=" + longAnswer;
    QVERIFY(startSsdp('a', arguments));
    const Run run = runDriver(1, 13);
    QVERIFY(!run.lines.isEmpty());

    const auto exactly = [](const QString &text) {
        return QRegularExpression::escape(text);
    };
    const auto desc = [&](int i) {
        return exactly(QStringLiteral("http://192.0.2.10:49152/desc/%1.xml").arg(i));
    };
    // A pair whose address matches a pattern, handed out within a time span
    // (ms since the start).
    struct Expected
    {
        QString name;
        QString address;
        qint64 from;
        qint64 until;
    };
    const QList<Expected> expected{
        {"Good", desc(1), 0, 5000},
        {"Unknown", desc(2), 0, 5000},
        {"Unknown", QStringLiteral("http://192\\.0\\.2\\.10:\\d+/desc/3\\.xml"), 0, 5000},
        {"Unknown", desc(4), 0, 5000},
        {"Unknown", desc(5), 0, 5000},
        {"Unknown", desc(6), 0, 5000},
        {"Unknown", desc(7), 10000, 13000}, // trickles one byte a second
        {"Unknown", desc(8), 10000, 13000}, // never answers
        {"Unknown", exactly(QStringLiteral("file:///etc/passwd")), 0, 5000},
        {"Unknown", exactly(QStringLiteral("ftp://192.0.2.10:49152/desc/10.xml")), 0, 5000},
        {"Unknown", exactly(QStringLiteral("data:text/xml;base64,")) + QStringLiteral(".*"), 0,
         5000},
        {"Unknown", QString(), 0, 5000},
        {"Spaced", desc(14), 0, 5000},
        {"Lower", desc(15), 0, 5000},
        {"Mixed", desc(16), 0, 5000},
        {"Twice", desc(17), 0, 5000},
        {"Twice (second location)",
         exactly(QStringLiteral("http://192.0.2.10:49152/desc/17-second.xml")), 0, 5000},
        {"A &amp; B", desc(18), 0, 5000},
        {"Wohnzimmer Müller 東京", desc(19), 0, 5000},
        {"Long answer", desc(20), 0, 5000},
    };
    QList<QJsonObject> pairs;
    for (const QJsonObject &line : run.lines) {
        if (line.contains(QLatin1String("address")))
            pairs << line;
    }
    QCOMPARE(pairs.size(), expected.size()); // the LF-only answer yields nothing
    for (const Expected &e : expected) {
        const QRegularExpression address(QRegularExpression::anchoredPattern(e.address));
        const auto found = std::find_if(pairs.begin(), pairs.end(), [&](const QJsonObject &p) {
            return p.value(QLatin1String("name")).toString() == e.name &&
                   address.match(p.value(QLatin1String("address")).toString()).hasMatch();
        });
        QVERIFY2(found != pairs.end(), qPrintable(e.name + QLatin1Char(' ') + e.address));
        const qint64 t = found->value(QLatin1String("t")).toInteger();
        QVERIFY2(t >= e.from && t <= e.until,
                 qPrintable(e.address + QLatin1Char(' ') + QString::number(t)));
        pairs.erase(found);
    }

    // Nothing was read for the locations that are not http: the ftp one names
    // the description server's own port.
    for (const QJsonObject &line : jsonFile(log)) {
        if (line.value(QLatin1String("event")).toString() == u"http")
            QVERIFY(line.value(QLatin1String("path")).toString() != u"/desc/10.xml");
    }
    // The event loop went on all along, and the endless bodies were cut short.
    QVERIFY2(run.last("maxTickGapMs") < 1000,
             qPrintable(QString::number(run.last("maxTickGapMs"))));
    QVERIFY2(run.last("maxRssKb") < 100 * 1024, qPrintable(QString::number(run.last("maxRssKb"))));
}

QTEST_GUILESS_MAIN(TestFinderlyNetwork)
#include "tst_finderly_network.moc"
