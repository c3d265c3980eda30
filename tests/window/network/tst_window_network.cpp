// Finderly end to end in a virtual LAN: the program's own main and window
// with the real Lenscout, against simulated cameras and SSDP devices. The
// program is a test build that reports its table's rows on standard output
// and closes its window or clicks Rescan on request (windowobserver.cpp); it
// runs in the host namespace of the test network. FINDERLY_OBSERVED_PROGRAM
// names another program that runs a build with the observer in the same way,
// such as the installed Windows program under Wine; FINDERLY_SCREENSHOT a PNG
// file for the screen after the first search.

#include "testnetwork.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

namespace {

// The program under observation and what it has reported so far.
class ObservedProgram
{
public:
    // Starts the program in the host namespace of net.
    explicit ObservedProgram(TestNetwork &net)
        : startedMs(QDateTime::currentMSecsSinceEpoch()),
          process(net.start(
              'h',
              qEnvironmentVariable("FINDERLY_OBSERVED_PROGRAM", QStringLiteral(OBSERVED_PROGRAM)),
              {}))
    {
    }

    // The rows of the table since it was last emptied.
    QList<QStringList> rows()
    {
        read();
        return seenRows;
    }

    int clearings()
    {
        read();
        return clearedCount;
    }

    // Qt's messages, as the program logged them.
    QStringList messages()
    {
        read();
        return loggedMessages;
    }

    // Since the start, or -1 while the window has not been drawn yet.
    qint64 msToWindow()
    {
        read();
        return windowMs < 0 ? -1 : windowMs - startedMs;
    }

    QString status()
    {
        read();
        return statusText;
    }

    // When the status line last changed, in ms since the epoch.
    qint64 statusMs()
    {
        read();
        return statusChangedMs;
    }

    // When the last row came, in ms since the epoch.
    qint64 lastRowMs()
    {
        read();
        return rowMs;
    }

    QStringList heads()
    {
        read();
        return headTexts;
    }

    QStringList opened()
    {
        read();
        return openedUrls;
    }

    // After the last "key" command: the accessible role and name of the item
    // with the keyboard focus, and the table's current row.
    QJsonObject focus()
    {
        read();
        return lastFocus;
    }

    QString clipboard()
    {
        read();
        return clipboardText;
    }

    // Presses keys in the window and waits for its report of the focus.
    QJsonObject pressKeys(const QString &keys)
    {
        const int before = focusReports;
        send(QStringLiteral("key ") + keys);
        QDeadlineTimer deadline(10000);
        while (focusReports == before && !deadline.hasExpired() &&
               process->state() == QProcess::Running) {
            process->waitForReadyRead(100);
            read();
        }
        return lastFocus;
    }

    // Closes the window as its close button does.
    void closeWindow() { process->write("close\n"); }
    void clickRescan() { process->write("rescan\n"); }
    void send(const QString &command) { process->write(command.toUtf8() + '\n'); }

    const qint64 startedMs;
    QProcess *const process;

private:
    void read()
    {
        while (process->canReadLine()) {
            const QJsonObject line = QJsonDocument::fromJson(process->readLine()).object();
            const qint64 t = qint64(line.value(QLatin1String("t")).toDouble());
            if (line.contains(QLatin1String("row"))) {
                QStringList row;
                for (const QJsonValue &field : line.value(QLatin1String("row")).toArray())
                    row.append(field.toString());
                seenRows.append(row);
                rowMs = t;
            } else if (line.value(QLatin1String("event")) == QLatin1String("window")) {
                windowMs = t;
                for (const QJsonValue &head : line.value(QLatin1String("heads")).toArray())
                    headTexts.append(head.toString());
            } else if (line.contains(QLatin1String("status"))) {
                statusText = line.value(QLatin1String("status")).toString();
                statusChangedMs = t;
            } else if (line.contains(QLatin1String("opened"))) {
                openedUrls.append(line.value(QLatin1String("opened")).toString());
            } else if (line.contains(QLatin1String("focus"))) {
                lastFocus = line;
                ++focusReports;
            } else if (line.contains(QLatin1String("clipboard"))) {
                clipboardText = line.value(QLatin1String("clipboard")).toString();
            } else if (line.contains(QLatin1String("message"))) {
                loggedMessages.append(line.value(QLatin1String("message")).toString());
            } else if (line.value(QLatin1String("event")) == QLatin1String("cleared")) {
                seenRows.clear();
                ++clearedCount;
            }
        }
    }

    QList<QStringList> seenRows;
    qint64 rowMs = -1;
    qint64 windowMs = -1;
    QString statusText;
    qint64 statusChangedMs = -1;
    QStringList headTexts;
    QStringList openedUrls;
    QJsonObject lastFocus;
    int focusReports = 0;
    QString clipboardText;
    int clearedCount = 0;
    QStringList loggedMessages;
};

// The names of the processes that run in a network namespace, but for
// Wine's own services, which serve a Windows program there.
QStringList processesIn(const QString &nameSpace)
{
    QProcess pids;
    pids.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("pids"), nameSpace});
    pids.waitForFinished();
    QStringList names;
    for (const QByteArray &pid : pids.readAllStandardOutput().split('\n')) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(QString::fromLatin1(pid.trimmed())));
        if (pid.trimmed().isEmpty() || !comm.open(QIODevice::ReadOnly))
            continue;
        const QString name = QString::fromUtf8(comm.readAll().trimmed());
        static const QRegularExpression wine(
            QStringLiteral("^(wineserver.*|(services|winedevice|plugplay|svchost|rpcss|"
                           "explorer|conhost|start|rundll32)\\.exe)$"));
        // Under Wine a Windows program goes by its file name, .exe included.
        if (!wine.match(name).hasMatch())
            names.append(name.endsWith(QLatin1String(".exe")) ? name.chopped(4) : name);
    }
    return names;
}

QList<QStringList> sorted(QList<QStringList> rows)
{
    std::sort(rows.begin(), rows.end(), [](const QStringList &a, const QStringList &b) {
        return a.join('\n') < b.join('\n');
    });
    return rows;
}

} // namespace

class TestWindowNetwork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void oneRowPerDeviceAndWay();
    void statusWhenNothingAnswers_data();
    void statusWhenNothingAnswers();
    void closingWhileToolRuns();

private:
    static void waitForWindow(ObservedProgram &program);
};

void TestWindowNetwork::initTestCase()
{
    if (!TestNetwork::available())
        QSKIP("needs root and iproute2 for network namespaces");
}

void TestWindowNetwork::waitForWindow(ObservedProgram &program)
{
    QVERIFY(program.process);
    // Wine takes some seconds to start its services and a Windows program.
    QTRY_VERIFY_WITH_TIMEOUT(
        program.msToWindow() >= 0 || program.process->state() == QProcess::NotRunning, 30000);
    // Qt's messages tell why a window did not load.
    QVERIFY2(program.msToWindow() >= 0, qPrintable(program.messages().join(QLatin1Char('\n'))));
    qInfo("window drawn %lld ms after the start", program.msToWindow());
}

void TestWindowNetwork::oneRowPerDeviceAndWay()
{
    TestNetwork net;
    QVERIFY(net.up(TestNetwork::Shape::Lan, 1));
    const QString germanJapanese =
        QString::fromUtf8("Kamera M\xc3\xbcller \xe6\x9d\xb1\xe4\xba\xac");
    QVERIFY(net.startSimulator(
        'a', QStringLiteral("camera_sim.py"),
        {QStringLiteral("--address"), QStringLiteral("192.0.2.10"), QStringLiteral("--devices"),
         QStringLiteral("2"), QStringLiteral("--name-prefix"), QStringLiteral("Cam a%d"),
         QStringLiteral("--device"),
         QStringLiteral("name=%1;xaddrs=http://192.0.2.10:8080/onvif/device_service")
             .arg(germanJapanese)}));
    QVERIFY(net.startSimulator('b', QStringLiteral("camera_sim.py"),
                               {QStringLiteral("--address"), QStringLiteral("198.51.100.10"),
                                QStringLiteral("--name-prefix"), QStringLiteral("Cam b%d")}));
    // The last one's description never comes: its row, "Unknown", takes 10 s.
    QVERIFY(net.startSimulator(
        'a', QStringLiteral("ssdp_sim.py"),
        {QStringLiteral("--address"), QStringLiteral("192.0.2.11"), QStringLiteral("--devices"),
         QStringLiteral("2"), QStringLiteral("--name-prefix"), QStringLiteral("Media a%d"),
         QStringLiteral("--device"), QStringLiteral("name=A &amp; B"), QStringLiteral("--device"),
         QStringLiteral("name=Held;body=hang")}));
    // The camera on b also answers SSDP: one row for each way.
    QVERIFY(net.startSimulator('b', QStringLiteral("ssdp_sim.py"),
                               {QStringLiteral("--address"), QStringLiteral("198.51.100.10"),
                                QStringLiteral("--device"), QStringLiteral("name=Cam b1")}));

    ObservedProgram program(net);
    waitForWindow(program);
    if (QTest::currentTestFailed())
        return;
    const QList<QStringList> expected = sorted({
        {QStringLiteral("Cam a1"), QStringLiteral("http://192.0.2.10")},
        {QStringLiteral("Cam a2"), QStringLiteral("http://192.0.2.10")},
        {germanJapanese, QStringLiteral("http://192.0.2.10:8080")},
        {QStringLiteral("Cam b1"), QStringLiteral("http://198.51.100.10")},
        {QStringLiteral("Media a1"), QStringLiteral("http://192.0.2.11:49152/desc/1.xml")},
        {QStringLiteral("Media a2"), QStringLiteral("http://192.0.2.11:49152/desc/2.xml")},
        {QStringLiteral("A &amp; B"), QStringLiteral("http://192.0.2.11:49152/desc/3.xml")},
        {QStringLiteral("Cam b1"), QStringLiteral("http://198.51.100.10:49152/desc/1.xml")},
    });
    const QStringList held{QStringLiteral("Unknown"),
                           QStringLiteral("http://192.0.2.11:49152/desc/4.xml")};
    // On a slow machine the held row may come before the rescan below.
    const auto shown = [&program, &held] {
        QList<QStringList> rows = program.rows();
        rows.removeAll(held);
        return sorted(rows);
    };
    QTRY_COMPARE_WITH_TIMEOUT(shown().size(), expected.size(), 15000);
    // Late or repeated answers add no rows.
    QTest::qWait(3000);
    QCOMPARE(shown(), expected);
    // The rows of the cameras came through the real tool, whose lines the runner logs.
    const QString log = program.messages().join(QLatin1Char('\n'));
    QVERIFY2(log.contains(QLatin1String("[Cam a1] <http://192.0.2.10/onvif/device_service>")),
             qPrintable(log));
    const QString screenshot = qEnvironmentVariable("FINDERLY_SCREENSHOT");
    if (!screenshot.isEmpty()) {
        QCOMPARE(QProcess::execute(QStringLiteral("import"),
                                   {QStringLiteral("-window"), QStringLiteral("root"), screenshot}),
                 0);
    }

    // Rescan empties the table and finds every device again, once per way:
    // nothing of the search it replaces comes after it, such as the held
    // description's fetch, which is still running.
    QElapsedTimer sinceRescan;
    sinceRescan.start();
    program.clickRescan();
    QTRY_COMPARE_WITH_TIMEOUT(program.clearings(), 1, 5000);
    const QList<QStringList> all = sorted(expected + QList<QStringList>{held});
    QTRY_COMPARE_WITH_TIMEOUT(program.rows().size(), all.size(), 20000);
    // The held row is the new search's: its fetch took its 10 s.
    QVERIFY2(sinceRescan.elapsed() >= 9500, qPrintable(QString::number(sinceRescan.elapsed())));
    QTest::qWait(3000);
    QCOMPARE(sorted(program.rows()), all);

    // The search ends once Lenscout has ended and every description has come.
    QTRY_VERIFY_WITH_TIMEOUT(program.status().startsWith(QLatin1String("9 devices on 2 networks")),
                             15000);
    qInfo("search ended %lld ms after the last row", program.statusMs() - program.lastRowMs());
    QCOMPARE(program.heads(), (QStringList{"Name", "Address"}));

    // By keyboard alone: Tab to the table, whose first row is current; Enter
    // opens its page, Ctrl+C copies its address.
    QJsonObject focus;
    const auto focusName = [&focus] {
        return focus.value(QLatin1String("focus"))
            .toObject()
            .value(QLatin1String("name"))
            .toString();
    };
    for (int tab = 0; tab < 5 && focusName() != QLatin1String("Devices"); ++tab)
        focus = program.pressKeys(QStringLiteral("Tab"));
    QCOMPARE(focusName(), QStringLiteral("Devices"));
    const QJsonArray current = focus.value(QLatin1String("current")).toArray();
    const QString address = current.at(1).toString();
    QVERIFY(all.contains({current.at(0).toString(), address}));
    program.pressKeys(QStringLiteral("Return"));
    QTRY_COMPARE(program.opened(), QStringList{address});
    program.pressKeys(QStringLiteral("Ctrl+C"));
    program.send(QStringLiteral("clipboard"));
    QTRY_COMPARE(program.clipboard(), address);
}

void TestWindowNetwork::statusWhenNothingAnswers_data()
{
    QTest::addColumn<TestNetwork::Shape>("shape");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a LAN where no device answers")
        << TestNetwork::Shape::Lan
        << QStringLiteral("No device answered on 2 networks (192.0.2.0/24, 198.51.100.0/24). "
                          "A firewall may be blocking the answers.");
    QTest::newRow("no network")
        << TestNetwork::Shape::Bare
        << QStringLiteral("No IPv4 network. Connect to the device network, then press Rescan.");
}

void TestWindowNetwork::statusWhenNothingAnswers()
{
    QFETCH(TestNetwork::Shape, shape);
    QFETCH(QString, expected);
    TestNetwork net;
    QVERIFY(net.up(shape));
    ObservedProgram program(net);
    waitForWindow(program);
    if (QTest::currentTestFailed())
        return;
    QTRY_COMPARE_WITH_TIMEOUT(program.status(), expected, 15000);
    QCOMPARE(program.rows(), QList<QStringList>());
}

void TestWindowNetwork::closingWhileToolRuns()
{
    TestNetwork net;
    QVERIFY(net.up());
    // One answer every half second for 15 s: the tool is busy long after the first.
    QVERIFY(net.startSimulator('a', QStringLiteral("camera_sim.py"),
                               {QStringLiteral("--address"), QStringLiteral("192.0.2.10"),
                                QStringLiteral("--devices"), QStringLiteral("30"),
                                QStringLiteral("--order"), QStringLiteral("sequential"),
                                QStringLiteral("--gap-ms"), QStringLiteral("500")}));
    ObservedProgram program(net);
    waitForWindow(program);
    if (QTest::currentTestFailed())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(program.rows().size() >= 2, 10000);
    QVERIFY(processesIn(net.nameSpace('h')).contains(QLatin1String("Lenscout")));

    QElapsedTimer closing;
    closing.start();
    program.closeWindow();
    QVERIFY(program.process->waitForFinished(10000));
    const qint64 closingMs = closing.elapsed();
    qInfo("ended %lld ms after the window was closed", closingMs);

    QCOMPARE(program.process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process->exitCode(), 0);
    // The tool got its 3000 ms to end by itself, then was killed.
    QVERIFY2(closingMs >= 2900 && closingMs <= 4500, qPrintable(QString::number(closingMs)));
    QCOMPARE(processesIn(net.nameSpace('h')), QStringList());
}

QTEST_GUILESS_MAIN(TestWindowNetwork)
#include "tst_window_network.moc"
