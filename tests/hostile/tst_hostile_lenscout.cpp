// Lenscout on a hostile network: a host in segment a floods its probing
// socket while well-behaved cameras in both segments answer. Every camera is
// still found, each record printed once, the tool ends by itself about 6 s
// after the last datagram, and its resident memory stays bounded.

#include "hostile.h"
#include "testnetwork.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

const QString lenscout = QStringLiteral(FINDERLY_BIN_DIR "/Lenscout/Lenscout");
constexpr int runTimeoutMs = 60000;
constexpr int floodSeconds = 3;
// The table takes 105 MB of address space, zeroed by calloc: only the pages
// that records land in become resident (10,500 bytes a record). A table
// touched in whole would exceed both limits.
constexpr qint64 floodPeakLimitKib = 64 * 1024;
constexpr qint64 distinctPeakLimitKib = 100 * 1024; // 5000 records take 52.5 MB

const QString device = QStringLiteral("[%1] <http://%2/onvif/device_service>");

QStringList devices(const QString &prefix, const QString &address, int count)
{
    QStringList list;
    for (int i = 1; i <= count; ++i)
        list << device.arg(prefix.arg(i), address);
    return list;
}

QStringList floodDevices(int count, const std::function<QString(int)> &address)
{
    QStringList list;
    for (int i = 1; i <= count; ++i) {
        list << QStringLiteral("[Flood Device %1] <http://%2/onvif/device_service/%1>")
                    .arg(i)
                    .arg(address(i));
    }
    return list;
}

double latest(const QString &log, const QString &key)
{
    double t = 0;
    for (const QJsonObject &line : jsonLines(log))
        t = qMax(t, line.value(key).toDouble());
    return t;
}

} // namespace

class TestHostileLenscout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void floods_data();
    void floods();
    void thousandsOfDistinctDevices();
    void spoofedLookingSources();

private:
    struct Run
    {
        int status = -1;
        QStringList records; // in the order printed
        double exited = 0;   // wall clock
        qint64 peakKib = -1;
        qint64 drops = -1; // datagrams the kernel dropped for want of buffer space
    };

    // Runs Lenscout in the host namespace under peak_rss.py.
    Run runLenscout();
    QString log(const QString &name) const { return scratch.filePath(name + ".log"); }
    // Cameras in both segments, among them some that answer only while a
    // flood started at the Probe goes on; returns the records they make.
    QStringList startCameras();
    // A flooder on the LAN address of side, logging to "flood" (a) or "floodb".
    QProcess *startFlood(char side, const QStringList &arguments);
    // The time of the last datagram sent by the flooder or any camera.
    double lastDatagram() const;

    TestNetwork network;
    QTemporaryDir scratch;
};

void TestHostileLenscout::initTestCase()
{
    if (!TestNetwork::available())
        QSKIP("needs root and iproute2 for network namespaces");
    QVERIFY(scratch.isValid());
}

void TestHostileLenscout::cleanup()
{
    network.down();
    for (const QString &name : {"flood", "floodb", "door", "late", "yard", "odd"})
        QFile::remove(log(name));
}

TestHostileLenscout::Run TestHostileLenscout::runLenscout()
{
    const QString report = scratch.filePath(QStringLiteral("rss.json"));
    QFile::remove(report);
    Run run;
    const qint64 dropsBefore = Hostile::receiveBufferErrors(network);
    QByteArray output;
    run.status =
        network.run('h', QStringLiteral("python3"),
                    {QStringLiteral(PEAK_RSS_SCRIPT), report, lenscout}, runTimeoutMs, &output);
    if (dropsBefore >= 0)
        run.drops = Hostile::receiveBufferErrors(network) - dropsBefore;
    QFile file(report);
    if (file.open(QIODevice::ReadOnly)) {
        const QJsonObject figures = QJsonDocument::fromJson(file.readAll()).object();
        run.exited = figures.value(QLatin1String("exited")).toDouble();
        run.peakKib = figures.value(QLatin1String("maxrss_kib")).toInteger(-1);
    }
    // Nothing but whole records "\n[" name "] <" address ">\n\n" may be printed.
    static const QRegularExpression record(
        QStringLiteral("\\G\\n(\\[[^\\]\\n]*\\] <[^>\\n]*>)\\n\\n"));
    const QString text = QString::fromUtf8(output);
    qsizetype at = 0;
    for (auto match = record.match(text); match.hasMatch(); match = record.match(text, at)) {
        run.records << match.captured(1);
        at = match.capturedEnd();
    }
    if (at != text.size())
        run.records << QStringLiteral("malformed output: ") + text.mid(at, 200);
    return run;
}

QStringList TestHostileLenscout::startCameras()
{
    if (!network.startSimulator('a', QStringLiteral("camera_sim.py"),
                                {"--address", "192.0.2.10", "--devices", "10", "--name-prefix",
                                 "Door %d", "--log", log("door")}) ||
        !network.startSimulator('a', QStringLiteral("camera_sim.py"),
                                {"--address", "192.0.2.11", "--devices", "6", "--name-prefix",
                                 "Late %d", "--order", "sequential", "--gap-ms", "400", "--log",
                                 log("late")}) ||
        !network.startSimulator('b', QStringLiteral("camera_sim.py"),
                                {"--address", "198.51.100.10", "--devices", "10", "--name-prefix",
                                 "Yard %d", "--log", log("yard")}))
        return {};
    return devices(QStringLiteral("Door %1"), QStringLiteral("192.0.2.10"), 10) +
           devices(QStringLiteral("Late %1"), QStringLiteral("192.0.2.11"), 6) +
           devices(QStringLiteral("Yard %1"), QStringLiteral("198.51.100.10"), 10);
}

QProcess *TestHostileLenscout::startFlood(char side, const QStringList &arguments)
{
    const bool a = side == 'a';
    return network.startSimulator(side, QStringLiteral("flood.py"),
                                  QStringList{"--wsd", "--address",
                                              a ? "192.0.2.10" : "198.51.100.10", "--log",
                                              log(a ? "flood" : "floodb")} +
                                      arguments);
}

double TestHostileLenscout::lastDatagram() const
{
    double t = qMax(latest(log("flood"), QStringLiteral("last")),
                    latest(log("floodb"), QStringLiteral("last")));
    for (const QString &camera : {"door", "late", "yard", "odd"})
        t = qMax(t, latest(log(camera), QStringLiteral("t")));
    return t;
}

void TestHostileLenscout::floods_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("rate"); // 0: as fast as the flooder can send
    QTest::addColumn<QStringList>("extraArguments");
    QTest::addColumn<QStringList>("floodRecords");
    // Whether every camera must be found. A flood faster than the tool reads
    // makes the kernel drop datagrams, the cameras' of that segment among them.
    QTest::addColumn<bool>("everyAnswer");

    const QString huge = device.arg(QStringLiteral("Flood Huge"), QStringLiteral("192.0.2.10"));
    const QString valid = device.arg(QStringLiteral("Flood Valid"), QStringLiteral("192.0.2.10"));
    // Rates a tenth of what the tool reads on an idle two-core machine, so
    // that they hold on a busy one.
    QTest::newRow("garbage") << "garbage" << 500 << QStringList() << QStringList() << true;
    QTest::newRow("empty datagrams") << "empty" << 500 << QStringList() << QStringList() << true;
    // A well-formed answer of the largest size a datagram can have counts.
    QTest::newRow("65507-byte datagrams")
        << "huge" << 100 << QStringList() << QStringList{huge} << true;
    QTest::newRow("identical valid answers")
        << "valid" << 300 << QStringList() << QStringList{valid} << true;
    QTest::newRow("mixed") << "mixed" << 300 << QStringList{"--count", "50"}
                           << QStringList{huge, valid} +
                                  floodDevices(50, [](int) { return QStringLiteral("192.0.2.10"); })
                           << true;
    QTest::newRow("garbage as fast as it goes")
        << "garbage" << 0 << QStringList{"--max-datagrams", "2000000"} << QStringList() << false;
}

void TestHostileLenscout::floods()
{
    QFETCH(QString, kind);
    QFETCH(int, rate);
    QFETCH(QStringList, extraArguments);
    QFETCH(QStringList, floodRecords);
    QFETCH(bool, everyAnswer);

    QVERIFY(network.up(TestNetwork::Shape::Lan, 1));
    const QStringList cameras = startCameras();
    QVERIFY(!cameras.isEmpty());
    QVERIFY(startFlood('a', QStringList{"--kind", kind, "--rate", QString::number(rate),
                                        "--seconds", QString::number(floodSeconds)} +
                                extraArguments));

    const Run run = runLenscout();
    QCOMPARE(run.status, 0);

    // The flood happened, and cameras answered while it went on.
    const QJsonObject flood = Hostile::onlyFlood(log("flood"));
    const int sent = flood.value(QLatin1String("sent")).toInt();
    QVERIFY2(sent >= (rate ? rate * floodSeconds * 9 / 10 : 10000),
             qPrintable(QJsonDocument(flood).toJson(QJsonDocument::Compact)));
    QCOMPARE(flood.value(QLatin1String("errors")).toInt(), 0);
    const double floodStart = flood.value(QLatin1String("first")).toDouble();
    const double floodEnd = flood.value(QLatin1String("last")).toDouble();
    int answersDuringFlood = 0;
    for (const QJsonObject &answer : jsonLines(log("late"))) {
        const double t = answer.value(QLatin1String("t")).toDouble();
        answersDuringFlood += t > floodStart && t < floodEnd;
    }
    QVERIFY2(answersDuringFlood >= 4, qPrintable(QString::number(answersDuringFlood)));

    const double quiet = run.exited - lastDatagram();
    qInfo("%s at %d/s: %d datagrams, %lld dropped, exit %.2f s after the last, peak RSS %lld KiB",
          qPrintable(kind), rate, sent, run.drops, quiet, run.peakKib);

    const QStringList expected = cameras + floodRecords;
    const QSet<QString> found(run.records.begin(), run.records.end());
    if (everyAnswer) {
        QCOMPARE(found, QSet<QString>(expected.begin(), expected.end()));
    } else {
        QVERIFY((found - QSet<QString>(expected.begin(), expected.end())).isEmpty());
        for (const QString &camera : cameras) {
            if (camera.contains(QLatin1String("198.51.100.")))
                QVERIFY2(run.records.contains(camera), qPrintable(camera)); // not flooded
        }
    }
    QCOMPARE(run.records.size(), QSet<QString>(run.records.begin(), run.records.end()).size());

    QVERIFY2(quiet > 5.9 && quiet < 8.5, qPrintable(QString::number(quiet)));
    QVERIFY2(run.peakKib > 0 && run.peakKib < floodPeakLimitKib,
             qPrintable(QString::number(run.peakKib)));
}

void TestHostileLenscout::thousandsOfDistinctDevices()
{
    // 2500 devices in each segment, each answering once, at an even pace.
    constexpr int perSegment = 2500;
    const QStringList flood{"--kind",    "distinct", "--count",         QString::number(perSegment),
                            "--rate",    "625",      "--max-datagrams", QString::number(perSegment),
                            "--seconds", "30"};
    QVERIFY(network.up());
    QVERIFY(startFlood('a', flood));
    QVERIFY(startFlood('b', flood));

    const Run run = runLenscout();
    QCOMPARE(run.status, 0);
    for (const QString &side : {"flood", "floodb"})
        QCOMPARE(Hostile::onlyFlood(log(side)).value(QLatin1String("sent")).toInt(), perSegment);

    const QStringList expected =
        floodDevices(perSegment, [](int) { return QStringLiteral("192.0.2.10"); }) +
        floodDevices(perSegment, [](int) { return QStringLiteral("198.51.100.10"); });
    const QSet<QString> found(run.records.begin(), run.records.end());
    const QSet<QString> missing = QSet<QString>(expected.begin(), expected.end()) - found;
    const double quiet = run.exited - lastDatagram();
    qInfo("%d distinct devices: %lld datagrams dropped, %lld missing, exit %.2f s after the last "
          "answer, peak RSS %lld KiB",
          2 * perSegment, run.drops, qint64(missing.size()), quiet, run.peakKib);
    QVERIFY2(missing.isEmpty(),
             qPrintable(QStringLiteral("%1 missing, e.g. %2")
                            .arg(missing.size())
                            .arg(missing.isEmpty() ? QString() : *missing.begin())));
    QCOMPARE(found, QSet<QString>(expected.begin(), expected.end()));
    QCOMPARE(run.records.size(), expected.size()); // each once

    QVERIFY2(quiet > 5.9 && quiet < 8.5, qPrintable(QString::number(quiet)));
    QVERIFY2(run.peakKib > 0 && run.peakKib < distinctPeakLimitKib,
             qPrintable(QString::number(run.peakKib)));
}

void TestHostileLenscout::spoofedLookingSources()
{
    // Answers come from secondary addresses of segment a, and name addresses
    // other than their source: the tool reports what they say.
    constexpr int count = 40;
    constexpr int sources = 4;
    QVERIFY(network.up(TestNetwork::Shape::Lan, sources + 1));
    QVERIFY(network.startSimulator(
        'a', QStringLiteral("camera_sim.py"),
        {"--address", "192.0.2.15", "--log", log("odd"), "--device",
         "name=Elsewhere;xaddrs=http://203.0.113.7/onvif/device_service", "--device",
         "name=Other Segment;xaddrs=http://198.51.100.10/onvif/device_service", "--device",
         "name=Secondary"}));
    QVERIFY(startFlood('a', {"--kind", "distinct", "--count", QString::number(count), "--spoof",
                             QString::number(sources), "--rate", "200", "--max-datagrams", "200",
                             "--seconds", "30"}));

    const Run run = runLenscout();
    QCOMPARE(run.status, 0);
    const QJsonObject flood = Hostile::onlyFlood(log("flood"));
    QCOMPARE(flood.value(QLatin1String("sent")).toInt(), 200);
    QCOMPARE(flood.value(QLatin1String("errors")).toInt(), 0); // every source address was taken

    // Device i leaves from the (i mod 4)-th address after 192.0.2.10.
    const QStringList expected =
        QStringList{device.arg(QStringLiteral("Elsewhere"), QStringLiteral("203.0.113.7")),
                    device.arg(QStringLiteral("Other Segment"), QStringLiteral("198.51.100.10")),
                    device.arg(QStringLiteral("Secondary"), QStringLiteral("192.0.2.15"))} +
        floodDevices(count,
                     [](int i) { return QStringLiteral("192.0.2.%1").arg(11 + i % sources); });
    QCOMPARE(QSet<QString>(run.records.begin(), run.records.end()),
             QSet<QString>(expected.begin(), expected.end()));
    QCOMPARE(run.records.size(), expected.size());
}

QTEST_GUILESS_MAIN(TestHostileLenscout)
#include "tst_hostile_lenscout.moc"
