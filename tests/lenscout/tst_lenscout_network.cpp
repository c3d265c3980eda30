// Lenscout end to end: the real binary in the host namespace of a virtual LAN
// with simulated cameras on both segments.

#include "jsonlines.h"
#include "testnetwork.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <csignal>

#include <unistd.h>

namespace {

const QString lenscout = QStringLiteral(FINDERLY_BIN_DIR "/Lenscout/Lenscout");
constexpr int runTimeoutMs = 30000;

QStringList records(const QByteArray &output)
{
    // Every record is "\n[" name "] <" address ">\n\n", a line without a
    // carriage return or tab; nothing else is printed.
    static const QRegularExpression record(
        QStringLiteral("\\G\\n(\\[[^\\r\\n\\t]*\\] <[^\\r\\n\\t]*>)\\n\\n"));
    const QString text = QString::fromUtf8(output);
    QStringList list;
    qsizetype at = 0;
    for (auto match = record.match(text); match.hasMatch(); match = record.match(text, at)) {
        list << match.captured(1);
        at = match.capturedEnd();
    }
    if (at != text.size())
        list << QStringLiteral("malformed output: ") + text.mid(at, 200);
    return list;
}

} // namespace

class TestLenscoutNetwork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void findsEveryDeviceOnBothSegments();
    void probeOnTheWire();
    void printsTheAddressClosestToALocalOne();
    void skipsBadAnswersBetweenGoodOnes();
    void replaysCapturedCameraAnswers();
    void passesNonAsciiNamesAsUtf8();
    void keepsEveryRecordOnOneLine();
    void endsNormallyWhenNobodyReadsItsOutput();
    void withoutGlobalAddressPrintsNothingAndEndsAtOnce();
    void commandLine();

private:
    // Runs Lenscout in the host namespace; returns its exit code.
    int runLenscout(QByteArray *output, const QStringList &arguments = {});
    // Cameras in segment a answer in this order, 100 ms apart, with a good
    // answer before, between and after the devices given (each a camera
    // description and the record it must give, or none); Lenscout must print
    // exactly the records expected, in order.
    void checkBetweenGoodAnswers(const QList<std::pair<QString, QString>> &devices);

    TestNetwork network;
    QTemporaryDir scratch;
};

void TestLenscoutNetwork::initTestCase()
{
    if (!TestNetwork::available())
        QSKIP("needs root and iproute2 for network namespaces");
    QVERIFY(scratch.isValid());
}

void TestLenscoutNetwork::init()
{
    QVERIFY(network.up());
}

void TestLenscoutNetwork::cleanup()
{
    network.down();
}

int TestLenscoutNetwork::runLenscout(QByteArray *output, const QStringList &arguments)
{
    return network.run('h', lenscout, arguments, runTimeoutMs, output);
}

void TestLenscoutNetwork::findsEveryDeviceOnBothSegments()
{
    const QString logA = scratch.filePath(QStringLiteral("a.log"));
    const QString logB = scratch.filePath(QStringLiteral("b.log"));
    QVERIFY(network.startSimulator('a', QStringLiteral("camera_sim.py"),
                                   {"--address", "192.0.2.10", "--devices", "20", "--name-prefix",
                                    "Front Door %d", "--log", logA}));
    QVERIFY(network.startSimulator('b', QStringLiteral("camera_sim.py"),
                                   {"--address", "198.51.100.10", "--devices", "20",
                                    "--name-prefix", "Yard %d", "--log", logB}));
    QByteArray output;
    QCOMPARE(runLenscout(&output), 0);
    const double exited = QDateTime::currentMSecsSinceEpoch() / 1000.0;

    QSet<QString> expected;
    for (int i = 1; i <= 20; ++i) {
        expected
            << QStringLiteral("[Front Door %1] <http://192.0.2.10/onvif/device_service>").arg(i)
            << QStringLiteral("[Yard %1] <http://198.51.100.10/onvif/device_service>").arg(i);
    }
    const QStringList found = records(output);
    QCOMPARE(found.size(), 40);
    QCOMPARE(QSet<QString>(found.begin(), found.end()), expected);
    QVERIFY(output.startsWith("\n[") && output.endsWith(">\n\n"));
    QCOMPARE(output.count('\n'), 3 * 40);

    // Each address ends after 6 s of silence; the tool after the slower one.
    double lastAnswer = 0;
    for (const QString &log : {logA, logB}) {
        for (const QJsonObject &line : jsonLines(log))
            lastAnswer = qMax(lastAnswer, line.value(QLatin1String("t")).toDouble());
    }
    QVERIFY(lastAnswer > 0);
    const double quiet = exited - lastAnswer;
    QVERIFY2(quiet > 5.9 && quiet < 9.0, qPrintable(QString::number(quiet)));
}

void TestLenscoutNetwork::probeOnTheWire()
{
    const QString captureA = scratch.filePath(QStringLiteral("probe-a.json"));
    const QString captureB = scratch.filePath(QStringLiteral("probe-b.json"));
    QVERIFY(network.startSimulator(
        'a', QStringLiteral("camera_sim.py"),
        {"--address", "192.0.2.10", "--behaviour", "silent", "--capture", captureA}));
    QVERIFY(network.startSimulator(
        'b', QStringLiteral("camera_sim.py"),
        {"--address", "198.51.100.10", "--behaviour", "silent", "--capture", captureB}));
    QByteArray output;
    QCOMPARE(runLenscout(&output), 0);
    QCOMPARE(output, QByteArray());

    const QRegularExpression uuidForm(
        QStringLiteral("^urn:uuid:[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
    QSet<QString> messageIds;
    for (const auto &[capture, source] : {std::pair{captureA, QStringLiteral("192.0.2.1")},
                                          std::pair{captureB, QStringLiteral("198.51.100.1")}}) {
        const QList<QJsonObject> datagrams = jsonLines(capture);
        QCOMPARE(datagrams.size(), 1); // one Probe per local address, never repeated
        QCOMPARE(datagrams[0].value(QLatin1String("src")).toString(), source);
        const QByteArray probe = QByteArray::fromBase64(
            datagrams[0].value(QLatin1String("data_b64")).toString().toLatin1());

        QXmlStreamReader xml(probe);
        QStringList path;
        int declarations = 0;
        QString messageId, to, action;
        QSet<QString> mustUnderstand;
        QStringList bodyElements;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement) {
                path << xml.name().toString();
                if (path.size() == 1) {
                    QCOMPARE(xml.namespaceUri().toString(),
                             QStringLiteral("http://www.w3.org/2003/05/soap-envelope"));
                    declarations = xml.namespaceDeclarations().size();
                }
                if (xml.attributes().value(
                        QStringLiteral("http://www.w3.org/2003/05/soap-envelope"),
                        QStringLiteral("mustUnderstand")) == u"true")
                    mustUnderstand << xml.name().toString();
                if (path.size() > 3 && path[1] == u"Body")
                    bodyElements << xml.name().toString();
                if (path.size() == 3 && path[1] == u"Header") {
                    const QString name = xml.name().toString();
                    const QString text = xml.readElementText();
                    path.removeLast();
                    if (name == u"MessageID")
                        messageId = text;
                    else if (name == u"To")
                        to = text;
                    else if (name == u"Action")
                        action = text;
                    else
                        QFAIL(qPrintable(QStringLiteral("unexpected header ") + name));
                    continue;
                }
                if (path.size() == 3 && path[1] == u"Body") {
                    QCOMPARE(xml.name().toString(), QStringLiteral("Probe"));
                    QCOMPARE(xml.namespaceUri().toString(),
                             QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery"));
                }
            } else if (xml.isEndElement()) {
                path.removeLast();
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(declarations, 15);
        QVERIFY2(uuidForm.match(messageId).hasMatch(), qPrintable(messageId));
        messageIds << messageId;
        QCOMPARE(to, QStringLiteral("urn:schemas-xmlsoap-org:ws:2005:04:discovery"));
        QCOMPARE(action, QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe"));
        QCOMPARE(mustUnderstand, (QSet<QString>{"To", "Action"}));
        QCOMPARE(bodyElements, QStringList()); // neither Types nor Scopes
    }
    QCOMPARE(messageIds.size(), 2); // a fresh identifier per Probe
}

void TestLenscoutNetwork::printsTheAddressClosestToALocalOne()
{
    QVERIFY(network.startSimulator(
        'a', QStringLiteral("camera_sim.py"),
        {"--address", "192.0.2.10", "--device",
         "name=Lobby;xaddrs=http://[fe80::1]/onvif/device_service "
         "http://203.0.113.7/onvif/device_service http://192.0.2.10:8080/onvif/device_service",
         "--device",
         "name=Gate;xaddrs=http://camera.example/onvif/device_service "
         "http://198.51.7.7/onvif/device_service http://198.51.100.99/onvif/device_service",
         "--device", "name=Dock;behaviour=noname"}));
    QByteArray output;
    QCOMPARE(runLenscout(&output), 0);
    const QStringList found = records(output);
    QCOMPARE(QSet<QString>(found.begin(), found.end()),
             (QSet<QString>{"[Lobby] <http://192.0.2.10:8080/onvif/device_service>",
                            "[Gate] <http://198.51.100.99/onvif/device_service>",
                            "[Unknown] <http://192.0.2.10/onvif/device_service>"}));
}

void TestLenscoutNetwork::checkBetweenGoodAnswers(const QList<std::pair<QString, QString>> &devices)
{
    QStringList expected;
    QStringList arguments{"--address", "192.0.2.10", "--order", "sequential", "--gap-ms", "100"};
    int good = 0;
    auto addGood = [&] {
        const QString name = QStringLiteral("Good %1").arg(++good);
        arguments << "--device" << QStringLiteral("name=") + name;
        expected << QStringLiteral("[%1] <http://192.0.2.10/onvif/device_service>").arg(name);
    };
    addGood();
    for (const auto &[device, record] : devices) {
        arguments << "--device" << device;
        if (!record.isNull())
            expected << record;
        addGood();
    }
    QVERIFY(network.startSimulator('a', QStringLiteral("camera_sim.py"), arguments));

    QByteArray output;
    QCOMPARE(runLenscout(&output), 0);
    QCOMPARE(records(output), expected);
}

void TestLenscoutNetwork::skipsBadAnswersBetweenGoodOnes()
{
    // Every bad answer stands between good ones. Unusable messages are
    // skipped; odd but well-formed ones count.
    const QStringList unusable{"wsd2009", "fault", "garbage", "truncated"};
    const QStringList odd{"deep", "hugeattr", "big"};
    QList<std::pair<QString, QString>> devices;
    for (const QString &behaviour : unusable + odd) {
        devices.append(
            {QStringLiteral("name=%1;behaviour=%1").arg(behaviour),
             odd.contains(behaviour)
                 ? QStringLiteral("[%1] <http://192.0.2.10/onvif/device_service>").arg(behaviour)
                 : QString()});
    }
    checkBetweenGoodAnswers(devices);
}

void TestLenscoutNetwork::replaysCapturedCameraAnswers()
{
    const QDir samples(QStringLiteral(TEST_DATA_DIR "/probematches"));
    QStringList arguments{"--address", "192.0.2.10"};
    for (const QString &file : samples.entryList({QStringLiteral("*.xml")}, QDir::Files))
        arguments << "--replay" << samples.filePath(file);
    QVERIFY(network.startSimulator('a', QStringLiteral("camera_sim.py"), arguments));

    QByteArray output;
    QCOMPARE(runLenscout(&output), 0);
    const QStringList found = records(output);
    // The machine's addresses are 192.0.2.1 and 198.51.100.1, so hosts that
    // share nothing with them tie and the first slot is printed.
    const QStringList expected{
        "[Amcrest] <http://10.0.0.154:8088/onvif/device_service>",
        "[Amcrest] <http://192.168.1.235/onvif/device_service>",
        "[Amcrest] <http://192.168.0.205/onvif/device_service>",
        "[AXIS M1034-W] <http://169.254.180.212/onvif/device_service>",
        "[AXIS M2025-LE] <http://192.168.0.209/onvif/device_service>",
        "[AXIS M2036-LE] <http://192.168.0.90/onvif/device_service>",
        "[C1] <http://10.0.0.227:888/onvif/device_service>",
        "[Unknown] <http://192.168.1.1:80/onvif/device_service>",
        "[Unknown] <http://192.168.1.104:80/onvif/device_service>",
        "[HIKVISION DS-2CD3955FWD-IWS] <http://192.168.0.218/onvif/device_service>",
        "[Unknown] <http://192.168.12.123/onvif/device_service>",
        "[TP-IPC] <http://192.168.12.128:2020/onvif/device_service>",
    };
    QCOMPARE(found.size(), expected.size());
    QCOMPARE(QSet<QString>(found.begin(), found.end()),
             QSet<QString>(expected.begin(), expected.end()));
}

void TestLenscoutNetwork::passesNonAsciiNamesAsUtf8()
{
    QVERIFY(network.startSimulator(
        'b', QStringLiteral("camera_sim.py"),
        {"--address", "198.51.100.10", "--device", "name=Kamera Müller 東京;behaviour=twice"}));
    QByteArray output;
    QCOMPARE(runLenscout(&output), 0);
    QCOMPARE(
        QString::fromUtf8(output),
        QStringLiteral("\n[Kamera Müller 東京] <http://198.51.100.10/onvif/device_service>\n\n"));
}

void TestLenscoutNetwork::keepsEveryRecordOnOneLine()
{
    // XAddrs may separate its addresses by any run of XML white space. The
    // address elsewhere comes first, so the camera's own one is chosen only
    // when the two are apart; the good answers around each must arrive too.
    // A camera that answers once with spaces and once with indented lines
    // is one record.
    QList<std::pair<QString, QString>> devices;
    for (const QString &behaviour : {"xaddrs-lf", "xaddrs-crlf", "xaddrs-tab", "xaddrs-respaced"}) {
        devices.append(
            {QStringLiteral("name=%1;behaviour=%1;xaddrs=http://203.0.113.7/onvif/"
                            "device_service http://192.0.2.10/onvif/device_service")
                 .arg(behaviour),
             QStringLiteral("[%1] <http://192.0.2.10/onvif/device_service>").arg(behaviour)});
    }
    checkBetweenGoodAnswers(devices);
}

void TestLenscoutNetwork::endsNormallyWhenNobodyReadsItsOutput()
{
    QVERIFY(network.startSimulator('a', QStringLiteral("camera_sim.py"),
                                   {"--address", "192.0.2.10", "--devices", "3"}));
    // Standard output is a pipe whose reader has gone, and SIGPIPE is at its
    // default, as a shell or Finderly starts the tool (the test itself
    // ignores SIGPIPE, which a child would inherit).
    int readerGone[2];
    QCOMPARE(pipe(readerGone), 0);
    ::close(readerGone[0]);
    QProcess tool;
    tool.setChildProcessModifier([&readerGone] {
        dup2(readerGone[1], STDOUT_FILENO);
        std::signal(SIGPIPE, SIG_DFL);
    });
    tool.start(QStringLiteral("ip"), network.command('h', lenscout));
    const bool started = tool.waitForStarted();
    ::close(readerGone[1]);
    QVERIFY(started);
    QVERIFY(tool.waitForFinished(runTimeoutMs));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);
}

void TestLenscoutNetwork::withoutGlobalAddressPrintsNothingAndEndsAtOnce()
{
    QVERIFY(network.up(TestNetwork::Shape::Bare));
    QElapsedTimer timer;
    timer.start();
    QByteArray output;
    QCOMPARE(runLenscout(&output), 0);
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(output, QByteArray());
}

void TestLenscoutNetwork::commandLine()
{
    QVERIFY(network.up(TestNetwork::Shape::Bare));
    QByteArray output;
    QCOMPARE(runLenscout(&output, {"--version"}), 0);
    QCOMPARE(output, QByteArray("Lenscout 1.0.0\n"));
    QCOMPARE(runLenscout(&output, {"-v"}), 0);
    QCOMPARE(output, QByteArray("Lenscout 1.0.0\n"));
    QCOMPARE(runLenscout(&output, {"--frobnicate"}), 1);
    QCOMPARE(output, QByteArray());
    QCOMPARE(runLenscout(&output, {"--help"}), 1); // there is no help option
}

QTEST_GUILESS_MAIN(TestLenscoutNetwork)
#include "tst_lenscout_network.moc"
