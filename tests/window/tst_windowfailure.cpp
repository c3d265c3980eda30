// The program's main with a window that cannot be loaded: it ends with exit
// code -1 and starts nothing. It runs in a bare network namespace, as
// anything that runs main does.

#include "testnetwork.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

class TestWindowFailure : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void failedLoadEndsWithMinusOne();
};

void TestWindowFailure::initTestCase()
{
    if (!TestNetwork::available())
        QSKIP("needs root and iproute2 for a network namespace");
}

void TestWindowFailure::failedLoadEndsWithMinusOne()
{
    // The tool beside the program marks every start of it (it only writes a file).
    QCOMPARE(QProcess::execute(QStringLiteral(BROKEN_WINDOW_TOOL), {}), 0);
    QVERIFY(QFile::remove(QStringLiteral(BROKEN_WINDOW_TOOL_STARTED)));

    TestNetwork net;
    QVERIFY(net.up(TestNetwork::Shape::Bare));

    QElapsedTimer elapsed;
    elapsed.start();
    QProcess *program = net.start('h', QStringLiteral(BROKEN_WINDOW_PROGRAM), {});
    QVERIFY(program);
    QVERIFY(program->waitForFinished(20000));
    qInfo("ended after %lld ms", elapsed.elapsed());

    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(qint8(program->exitCode()), qint8(-1));
    // The engine reported why, and no scan ran: the prober was never started.
    QVERIFY(program->readAllStandardError().contains("Finderly.NoSuchModule"));
    QVERIFY(!QFile::exists(QStringLiteral(BROKEN_WINDOW_TOOL_STARTED)));
}

QTEST_GUILESS_MAIN(TestWindowFailure)
#include "tst_windowfailure.moc"
