// ChildProcess: starting, replacing, waiting for and killing one child, and
// forwarding its standard output unchanged, against the stand-in tool.

#include "childprocess.h"
#include "standin.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

class TestChildProcess : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void forwardsStandardOutputUnchanged();
    void waitForFinishedWithoutChildReturnsAtOnce();
    void missingProgramDoesNotStart();
    void waitForFinishedKeepsAChildThatStillRuns();
    void startKillsThePreviousChildFirst();
    void destructionKillsTheChild();

private:
    static QByteArray joined(const QSignalSpy &spy);
    QString standIn() const { return StandIn::program(QCoreApplication::applicationDirPath()); }
    qint64 self() const { return QCoreApplication::applicationPid(); }
};

QByteArray TestChildProcess::joined(const QSignalSpy &spy)
{
    QByteArray all;
    for (const QList<QVariant> &arguments : spy)
        all += arguments.at(0).toByteArray();
    return all;
}

void TestChildProcess::init()
{
    StandIn::forgetStarts(self());
}

void TestChildProcess::cleanup()
{
    StandIn::forgetStarts(self());
}

void TestChildProcess::forwardsStandardOutputUnchanged()
{
    ChildProcess child;
    QSignalSpy spy(&child, &ChildProcess::dataReceived);
    QVERIFY(child.start(standIn(), {QStringLiteral("--exit")}));
    QTRY_COMPARE(joined(spy), StandIn::output);
    QVERIFY(child.waitForFinished(5000));
    QVERIFY(child.waitForFinished(0)); // released: nothing left to wait for
    QCOMPARE(joined(spy), StandIn::output);
}

void TestChildProcess::waitForFinishedWithoutChildReturnsAtOnce()
{
    ChildProcess child;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(child.waitForFinished(5000));
    QVERIFY(clock.elapsed() < 1000);
}

void TestChildProcess::missingProgramDoesNotStart()
{
    ChildProcess child;
    QSignalSpy spy(&child, &ChildProcess::dataReceived);
    QVERIFY(
        !child.start(QCoreApplication::applicationDirPath() + QStringLiteral("/no-such-tool"), {}));
    QVERIFY(child.waitForFinished(0));
    QTest::qWait(100);
    QCOMPARE(spy.count(), 0);
}

void TestChildProcess::waitForFinishedKeepsAChildThatStillRuns()
{
    ChildProcess child;
    QVERIFY(child.start(standIn(), {}));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!child.waitForFinished(300));
    QVERIFY(clock.elapsed() >= 290);
    QVERIFY(!child.waitForFinished(0)); // still held, still running

    QTRY_COMPARE(StandIn::starts(self()).size(), 1);
    const qint64 pid = StandIn::starts(self()).at(0).pid;
    QVERIFY(StandIn::exists(pid));
    child.stop();
    QVERIFY(!StandIn::exists(pid));
    QVERIFY(child.waitForFinished(0));
}

void TestChildProcess::startKillsThePreviousChildFirst()
{
    ChildProcess child;
    QSignalSpy spy(&child, &ChildProcess::dataReceived);
    QVERIFY(child.start(standIn(), {}));
    QTRY_VERIFY(!spy.isEmpty()); // the first child is in the middle of its output
    QTRY_COMPARE(StandIn::starts(self()).size(), 1);
    const qint64 first = StandIn::starts(self()).at(0).pid;

    QVERIFY(child.start(standIn(), {}));
    QVERIFY(!StandIn::exists(first));
    spy.clear();
    // Only the new child's output arrives, from its first byte on.
    QTRY_COMPARE(joined(spy), StandIn::output);
    const QList<StandIn::Start> starts = StandIn::starts(self());
    QCOMPARE(starts.size(), 2);
    QVERIFY2(starts.at(1).alone, "the second child started while the first still ran");
}

void TestChildProcess::destructionKillsTheChild()
{
    auto *child = new ChildProcess;
    QVERIFY(child->start(standIn(), {}));
    QTRY_COMPARE(StandIn::starts(self()).size(), 1);
    const qint64 pid = StandIn::starts(self()).at(0).pid;
    QVERIFY(StandIn::exists(pid));
    delete child;
    QVERIFY(!StandIn::exists(pid));
}

QTEST_GUILESS_MAIN(TestChildProcess)
#include "tst_childprocess.moc"
