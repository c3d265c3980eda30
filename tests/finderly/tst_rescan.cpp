// rescanAll: the SSDP search is stopped and joined before the prober is
// restarted, then searched anew. The runner starts the stand-in tool; the
// search thread is a stand-in too, whose run() sends nothing.

#include "backend.h"
#include "discoverysources.h"
#include "lenscoutrunner.h"
#include "ssdpdiscovery.h"
#include "standin.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QTest>

namespace {

// A search thread that listens until it is interrupted and then takes its
// time to end, like a run in the middle of a pass.
class SearchStandIn : public SsdpDiscovery
{
public:
    struct Run
    {
        qint64 beganMs = 0;
        qint64 endedMs = 0; // 0 while it runs
    };

    bool endAtOnce = false;

    QList<Run> runs() const
    {
        QMutexLocker locker(&mutex);
        return history;
    }

protected:
    void run() override
    {
        qsizetype index;
        {
            QMutexLocker locker(&mutex);
            index = history.size();
            history.append({StandIn::monotonicMs(), 0});
        }
        if (!endAtOnce) {
            while (!isInterruptionRequested())
                msleep(10);
            msleep(300);
        }
        QMutexLocker locker(&mutex);
        history[index].endedMs = StandIn::monotonicMs();
    }

private:
    mutable QMutex mutex;
    QList<Run> history;
};

} // namespace

class TestRescan : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstRescanStartsBothWays();
    void rescanJoinsTheSearchBeforeTheToolRestarts();
    void rescanAfterAnEndedRunStartsAtOnce();
    void btnRescanRunsTheRescanInside();

private:
    qint64 self() const { return QCoreApplication::applicationPid(); }
    SearchStandIn *search = nullptr;
};

void TestRescan::init()
{
    StandIn::forgetStarts(self());
    runnerInstance = new Lenscout;
    search = new SearchStandIn;
    ssdpInstance = search;
}

void TestRescan::cleanup()
{
    search->requestInterruption();
    search->wait();
    delete search;
    search = nullptr;
    ssdpInstance = nullptr;
    delete runnerInstance;
    runnerInstance = nullptr;
    StandIn::forgetStarts(self());
}

void TestRescan::firstRescanStartsBothWays()
{
    rescanAll();
    QVERIFY(search->isRunning());
    QTRY_COMPARE(StandIn::starts(self()).size(), 1);
    QTRY_COMPARE(search->runs().size(), 1);
}

void TestRescan::rescanJoinsTheSearchBeforeTheToolRestarts()
{
    rescanAll();
    QTRY_COMPARE(StandIn::starts(self()).size(), 1);
    QTRY_COMPARE(search->runs().size(), 1);
    const qint64 firstTool = StandIn::starts(self()).at(0).pid;

    rescanAll();
    QVERIFY(search->isRunning());
    QTRY_COMPARE(StandIn::starts(self()).size(), 2);
    QTRY_COMPARE(search->runs().size(), 2);
    const QList<SearchStandIn::Run> runs = search->runs();
    const StandIn::Start secondTool = StandIn::starts(self()).at(1);
    QVERIFY(runs[0].endedMs > 0);
    QVERIFY2(secondTool.startedMs >= runs[0].endedMs, "the tool restarted before the search ended");
    QVERIFY(runs[1].beganMs >= runs[0].endedMs);
    QVERIFY(secondTool.alone);
    QVERIFY(!StandIn::exists(firstTool));
}

void TestRescan::rescanAfterAnEndedRunStartsAtOnce()
{
    search->endAtOnce = true;
    rescanAll();
    QTRY_VERIFY(search->isFinished());
    QElapsedTimer clock;
    clock.start();
    rescanAll();
    QVERIFY(clock.elapsed() < 250); // nothing to wait for but the tool's start
    QTRY_COMPARE(search->runs().size(), 2);
}

void TestRescan::btnRescanRunsTheRescanInside()
{
    // Wired as the program's entry wires it.
    BackEnd backEnd;
    connect(&backEnd, &BackEnd::btnRescan, &backEnd, rescanAll, Qt::DirectConnection);
    backEnd.addDevice(QStringLiteral("Cam"), QStringLiteral("http://192.0.2.20"));
    backEnd.onBtnRescan();
    QVERIFY(search->isRunning());
    // The queued device belongs to the search that the user discarded.
    QCOMPARE(backEnd.getDevice(), QStringList{});
    QTRY_COMPARE(StandIn::starts(self()).size(), 1);
}

QTEST_GUILESS_MAIN(TestRescan)
#include "tst_rescan.moc"
