// The watchdog ends the whole process with status 1, output flushed, when a
// receive stays blocked for more than 12 seconds after it was armed.

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

const char blockedReceive[] = "--blocked-receive";
const char blockedAfterShortOnes[] = "--blocked-receive-after-short-ones";
constexpr int shortReceivesMs = 6000;

// The watchdog of a probing thread: with shortReceivesFirst, receives that
// each end at once follow each other for 6 seconds before the one that blocks.
int runChild(bool shortReceivesFirst)
{
    std::printf("\n[Camera] <http://192.0.2.10/onvif/device_service>\n\n"); // still buffered
    AbortThread watchdog;
    watchdog.start();
    QElapsedTimer busy;
    busy.start();
    while (shortReceivesFirst && busy.elapsed() < shortReceivesMs) {
        // Mostly armed when the watchdog polls, and armed anew in between.
        watchdog.arm();
        QThread::usleep(200);
        watchdog.disarm();
    }
    BlockedReceiver receiver;
    receiver.start();
    watchdog.arm();
    receiver.wait();
    return 0; // not reached: the watchdog ends the process
}

} // namespace

class TestWatchdog : public QObject
{
    Q_OBJECT

private slots:
    void disarmedWatchdogEndsWithinOnePoll();
    void firesAfterTwelveSecondsWithStatusOne();
    void countsFromTheLastArming();

private:
    // Runs the child, which must end with status 1 and its record flushed;
    // returns how long it ran.
    static qint64 runBlockedChild(const char *mode);
};

void TestWatchdog::disarmedWatchdogEndsWithinOnePoll()
{
    AbortThread watchdog;
    watchdog.start();
    watchdog.arm();
    QTest::qWait(50);
    QElapsedTimer timer;
    timer.start();
    watchdog.disarm();
    watchdog.finish();
    QVERIFY(watchdog.wait(1000));
    QVERIFY(timer.elapsed() < 500);
}

qint64 TestWatchdog::runBlockedChild(const char *mode)
{
    QProcess child;
    QElapsedTimer timer;
    timer.start();
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(mode)});
    if (!child.waitForFinished(40000))
        return -1;
    QByteArray record("\n[Camera] <http://192.0.2.10/onvif/device_service>\n\n");
#ifdef Q_OS_WIN
    record.replace("\n", "\r\n"); // standard output is in text mode
#endif
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 1 ||
        child.readAllStandardOutput() != record)
        return -1;
    return timer.elapsed();
}

void TestWatchdog::firesAfterTwelveSecondsWithStatusOne()
{
    const qint64 elapsed = runBlockedChild(blockedReceive);
    QVERIFY2(elapsed >= 12000, qPrintable(QString::number(elapsed)));
}

void TestWatchdog::countsFromTheLastArming()
{
    // A watchdog that counted from its start, or across receives armed back
    // to back, would fire 12 s after the start.
    const qint64 elapsed = runBlockedChild(blockedAfterShortOnes);
    QVERIFY2(elapsed >= shortReceivesMs + 12000, qPrintable(QString::number(elapsed)));
}

int main(int argc, char *argv[])
{
    if (argc == 2 && std::strcmp(argv[1], blockedReceive) == 0)
        return runChild(false);
    if (argc == 2 && std::strcmp(argv[1], blockedAfterShortOnes) == 0)
        return runChild(true);
    QCoreApplication app(argc, argv);
    TestWatchdog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_watchdog.moc"
