// The watchdog ends the whole process with status 1, output flushed, when a
// receive stays blocked for more than 12 seconds.

#include "abortthread.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <sys/socket.h>
#endif

namespace {

// A thread stuck in a receive that never returns: a loopback socket that
// nobody sends to.
class BlockedReceiver : public QThread
{
protected:
    void run() override
    {
#ifdef Q_OS_WIN
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
        const auto fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        char buffer[16];
        recv(fd, buffer, sizeof buffer, 0);
    }
};

int runChild()
{
    std::printf("\n[Camera] <http://192.0.2.10/onvif/device_service>\n\n"); // still buffered
    BlockedReceiver receiver;
    receiver.start();
    AbortThread watchdog;
    watchdog.armed = true;
    watchdog.start();
    watchdog.wait();
    return 0; // not reached: the watchdog ends the process
}

} // namespace

class TestWatchdog : public QObject
{
    Q_OBJECT

private slots:
    void disarmedWatchdogEndsWithinOnePoll();
    void firesAfterTwelveSecondsWithStatusOne();
};

void TestWatchdog::disarmedWatchdogEndsWithinOnePoll()
{
    AbortThread watchdog;
    watchdog.armed = true;
    watchdog.start();
    QTest::qWait(50);
    QElapsedTimer timer;
    timer.start();
    watchdog.armed = false;
    QVERIFY(watchdog.wait(1000));
    QVERIFY(timer.elapsed() < 500);
}

void TestWatchdog::firesAfterTwelveSecondsWithStatusOne()
{
    QProcess child;
    QElapsedTimer timer;
    timer.start();
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--blocked-receive")});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 1);
    QVERIFY2(timer.elapsed() >= 12000, qPrintable(QString::number(timer.elapsed())));
    QByteArray record("\n[Camera] <http://192.0.2.10/onvif/device_service>\n\n");
#ifdef Q_OS_WIN
    record.replace("\n", "\r\n"); // standard output is in text mode
#endif
    QCOMPARE(child.readAllStandardOutput(), record);
}

int main(int argc, char *argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--blocked-receive") == 0)
        return runChild();
    QCoreApplication app(argc, argv);
    TestWatchdog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_watchdog.moc"
