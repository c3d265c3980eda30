// The runner built into a folder that has no Lenscout beside it, on a
// machine without the fallback path: start fails silently.

#include "lenscoutrunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

class TestRunnerWithoutTool : public QObject
{
    Q_OBJECT

private slots:
    void startWithoutToolReturnsAndNothingArrives();
};

void TestRunnerWithoutTool::startWithoutToolReturnsAndNothingArrives()
{
    QVERIFY(!QFileInfo::exists(QCoreApplication::applicationDirPath() + "/Lenscout/Lenscout"));
    QVERIFY(!QFileInfo::exists(QStringLiteral("C:/deploymsvc/Lenscout/Lenscout.exe")));

    Lenscout runner;
    QSignalSpy spy(&runner, &Lenscout::dataReceived);
    QElapsedTimer clock;
    clock.start();
    runner.start();
    runner.start();
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(runner.waitForFinished(0)); // nothing runs
    QTest::qWait(500);
    QCOMPARE(spy.count(), 0);
}

QTEST_GUILESS_MAIN(TestRunnerWithoutTool)
#include "tst_runnerwithouttool.moc"
