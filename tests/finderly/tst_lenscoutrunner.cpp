// The runner: cutting the tool's output into lines, through its own slot, and
// running the stand-in tool that lies where the runner looks for Lenscout.

#include "lenscoutrunner.h"
#include "standin.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTest>

using Chunks = QList<QByteArray>;

namespace {

// Keeps the runner's debug line per record out of the test log.
struct QuietDebugChannel
{
    QuietDebugChannel() { QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false")); }
    ~QuietDebugChannel() { QLoggingCategory::setFilterRules(QString()); }
};

} // namespace

class TestLenscoutRunner : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void lineCutting_data();
    void lineCutting();
    void splitAtAnyByteGivesTheSameLine_data();
    void splitAtAnyByteGivesTheSameLine();
    void eachLineGoesToTheDebugChannel();
    void thousandsOfLinesInOneChunk();

    void runsTheToolBesideTheProgram();
    void startKillsTheRunningToolBeforeTheNewOne();
    void waitForFinished();
    void destructionKillsTheTool();

private:
    // Hands each chunk to the runner's slot as the child process would.
    static QStringList cut(Lenscout &runner, const Chunks &chunks);
    static QStringList lines(const QSignalSpy &spy);
    qint64 self() const { return QCoreApplication::applicationPid(); }
};

QStringList TestLenscoutRunner::cut(Lenscout &runner, const Chunks &chunks)
{
    QSignalSpy spy(&runner, &Lenscout::dataReceived);
    for (const QByteArray &chunk : chunks) {
        QMetaObject::invokeMethod(&runner, "handleDataReceived", Qt::DirectConnection,
                                  Q_ARG(QByteArray, chunk));
    }
    return lines(spy);
}

QStringList TestLenscoutRunner::lines(const QSignalSpy &spy)
{
    QStringList list;
    for (const QList<QVariant> &arguments : spy)
        list << arguments.at(0).toString();
    return list;
}

void TestLenscoutRunner::init()
{
    StandIn::forgetStarts(self());
}

void TestLenscoutRunner::cleanup()
{
    StandIn::forgetStarts(self());
}

void TestLenscoutRunner::lineCutting_data()
{
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<QStringList>("expected");

    const QString frontDoor =
        QStringLiteral("[Front Door] <http://192.0.2.20/onvif/device_service>");
    QTest::newRow("record between empty lines")
        << Chunks{"\r\n[Front Door] <http://192.0.2.20/onvif/device_service>\r\n\r\n"}
        << QStringList{frontDoor + "\r\n"};
    QTest::newRow("three records in one chunk, in order")
        << Chunks{StandIn::output} << StandIn::records();
    QTest::newRow("the tool's output byte by byte") << [] {
        Chunks bytes;
        for (char c : StandIn::output)
            bytes << QByteArray(1, c);
        return bytes;
    }() << StandIn::records();
    QTest::newRow("LF only") << Chunks{"\n[A] <http://192.0.2.20>\n\n\n[B] <http://192.0.2.21>\n\n"}
                             << QStringList{"[A] <http://192.0.2.20>\n",
                                            "[B] <http://192.0.2.21>\n"};
    QTest::newRow("a lone LF stays inside a line that a CR LF ends")
        << Chunks{"[A] <http://192.0.2.20>\n[B] <http://192.0.2.21>\r\n"}
        << QStringList{"[A] <http://192.0.2.20>\n[B] <http://192.0.2.21>\r\n"};
    QTest::newRow("empty lines only") << Chunks{"\r\n", "\r\n\r\n", "\n\n"} << QStringList{};
    QTest::newRow("no line end yet") << Chunks{"[A] <http://192.0.2.20>"} << QStringList{};
    QTest::newRow("the rest waits for the next chunk")
        << Chunks{"[A] <http://192.0.2.20>\r\n[B] <http", "://192.0.2.21>\r\n"}
        << QStringList{"[A] <http://192.0.2.20>\r\n", "[B] <http://192.0.2.21>\r\n"};
    QTest::newRow("CR and LF in two chunks")
        << Chunks{"[A] <http://192.0.2.20>\r", "\n"} << QStringList{"[A] <http://192.0.2.20>\r\n"};
    QTest::newRow("text that is no record")
        << Chunks{"Lenscout 1.0.0\n"} << QStringList{"Lenscout 1.0.0\n"};
    QTest::newRow("invalid UTF-8 is replaced, not dropped")
        << Chunks{"[Bad \xff\xfe name] <http://192.0.2.20>\r\n"}
        << QStringList{QStringLiteral("[Bad \uFFFD\uFFFD name] <http://192.0.2.20>\r\n")};
    QTest::newRow("a character split between chunks")
        << Chunks{"[M\xc3", "\xbcller] <http://192.0.2.20>\r\n"}
        << QStringList{QStringLiteral("[M\u00fcller] <http://192.0.2.20>\r\n")};
    QTest::newRow("a four-byte character in four chunks")
        << Chunks{"[\xf0", "\x9f", "\x93", "\xb7] <http://192.0.2.20>\r\n"}
        << QStringList{QString::fromUtf8("[\xf0\x9f\x93\xb7] <http://192.0.2.20>\r\n")};
}

void TestLenscoutRunner::lineCutting()
{
    QFETCH(Chunks, chunks);
    QFETCH(QStringList, expected);
    const QuietDebugChannel quiet;
    Lenscout runner;
    QCOMPARE(cut(runner, chunks), expected);
}

void TestLenscoutRunner::splitAtAnyByteGivesTheSameLine_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("ASCII") << QByteArray("\r\n[Front Door] <http://192.0.2.20/onvif/"
                                         "device_service>\r\n\r\n");
    QTest::newRow("German, Japanese, an emoji")
        << QByteArray("\r\n[Kamera M\xc3\xbcller \xe6\x9d\xb1\xe4\xba\xac \xf0\x9f\x93\xb7] "
                      "<http://192.0.2.21:8080/onvif/device_service>\r\n\r\n");
    QTest::newRow("LF only") << QByteArray("\n[Gr\xc3\xbc\xc3\x9f Gott] <http://192.0.2.22>\n\n");
}

void TestLenscoutRunner::splitAtAnyByteGivesTheSameLine()
{
    QFETCH(QByteArray, record);
    const QuietDebugChannel quiet;
    const QString line = QString::fromUtf8(record).trimmed() +
                         QLatin1String(record.endsWith("\r\n") ? "\r\n" : "\n");
    for (qsizetype at = 1; at < record.size(); ++at) {
        Lenscout runner;
        const QStringList emitted = cut(runner, {record.left(at), record.mid(at)});
        QVERIFY2(emitted == QStringList{line}, qPrintable(QStringLiteral("split at %1").arg(at)));
    }
}

void TestLenscoutRunner::eachLineGoesToTheDebugChannel()
{
    Lenscout runner;
    QTest::ignoreMessage(QtDebugMsg, "[A] <http://192.0.2.20>\r\n");
    QCOMPARE(cut(runner, {"\r\n[A] <http://192.0.2.20>\r\n\r\n"}).size(), 1);
}

void TestLenscoutRunner::thousandsOfLinesInOneChunk()
{
    QByteArray chunk;
    for (int i = 0; i < 5000; ++i)
        chunk += "\r\n[Camera " + QByteArray::number(i) + "] <http://192.0.2.20>\r\n\r\n";
    const QuietDebugChannel quiet;
    Lenscout runner;
    QElapsedTimer clock;
    clock.start();
    const QStringList emitted = cut(runner, {chunk});
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(emitted.size(), 5000);
    QCOMPARE(emitted.last(), QStringLiteral("[Camera 4999] <http://192.0.2.20>\r\n"));
}

void TestLenscoutRunner::runsTheToolBesideTheProgram()
{
    Lenscout runner;
    QSignalSpy spy(&runner, &Lenscout::dataReceived);
    runner.start();
    QTRY_COMPARE(lines(spy), StandIn::records());
    QCOMPARE(StandIn::starts(self()).size(), 1);
}

void TestLenscoutRunner::startKillsTheRunningToolBeforeTheNewOne()
{
    Lenscout runner;
    QSignalSpy spy(&runner, &Lenscout::dataReceived);
    runner.start();
    QTRY_COMPARE(spy.count(), 1);
    QTRY_COMPARE(StandIn::starts(self()).size(), 1);
    const qint64 first = StandIn::starts(self()).at(0).pid;
    QVERIFY(StandIn::exists(first));

    const qsizetype before = spy.count();
    runner.start();
    QVERIFY(!StandIn::exists(first));
    QTRY_COMPARE(StandIn::starts(self()).size(), 2);
    QVERIFY2(StandIn::starts(self()).at(1).alone,
             "the new tool started while the old one still ran");
    // The new run's records, and nothing more of the old run: neither what
    // it had written nor its unfinished line in front of the new output.
    QTRY_COMPARE(lines(spy).mid(before), StandIn::records());
}

void TestLenscoutRunner::waitForFinished()
{
    Lenscout runner;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(runner.waitForFinished(5000)); // before any start
    QVERIFY(clock.elapsed() < 1000);

    runner.start();
    QVERIFY(!runner.waitForFinished(200)); // the tool keeps running
}

void TestLenscoutRunner::destructionKillsTheTool()
{
    auto *runner = new Lenscout;
    runner->start();
    QTRY_COMPARE(StandIn::starts(self()).size(), 1);
    const qint64 pid = StandIn::starts(self()).at(0).pid;
    QVERIFY(StandIn::exists(pid));
    delete runner;
    QVERIFY(!StandIn::exists(pid));
}

QTEST_GUILESS_MAIN(TestLenscoutRunner)
#include "tst_lenscoutrunner.moc"
