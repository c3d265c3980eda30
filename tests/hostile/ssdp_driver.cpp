// Runs Finderly's SSDP discovery as the program does, for the hostile-network
// tests: started from the event loop of the main thread, whose timers must
// keep running however the network behaves.
//
//     ssdp_driver SECONDS
//
// Prints every device record as emitted (ending in CR LF), a line
// "tick LATENESS_MS" from a 500 ms timer, and after SECONDS asks the search to
// stop and prints "stopped MS" (how long it took), "max-lateness MS" and
// "peak-rss-kib KIB". The descriptions already found are still fetched, as in
// the program: it ends once no record has come for a few seconds, so that a
// slow machine reports every one of them.

#include "ssdpdiscovery.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int tickMs = 500;
constexpr int quietMs = 3000;
constexpr int maxDrainMs = 60000;

void print(const QByteArray &text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
}

QByteArray peakResidentKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return "-1";
    const QRegularExpression hwm(QStringLiteral("VmHWM:\\s*(\\d+) kB"));
    return hwm.match(QString::fromLatin1(status.readAll())).captured(1).toLatin1();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    bool ok = false;
    const int seconds = argc == 2 ? QByteArray(argv[1]).toInt(&ok) : 0;
    if (!ok || seconds < 1) {
        std::fprintf(stderr, "usage: ssdp_driver SECONDS\n");
        return 2;
    }

    QTimer quiet;
    quiet.setSingleShot(true);
    quiet.setInterval(quietMs);
    QObject::connect(&quiet, &QTimer::timeout, &app, &QCoreApplication::quit);

    SsdpDiscovery discovery;
    QObject::connect(&discovery, &SsdpDiscovery::dataReceived, [&quiet](const QString &record) {
        print(record.toUtf8());
        if (quiet.isActive())
            quiet.start();
    });

    // A precise timer, so that the figure is the event loop's delay and not
    // the slack a coarse timer is allowed.
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 maxLateness = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(tickMs);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        const qint64 lateness = now - lastTick - tickMs;
        maxLateness = qMax(maxLateness, lateness);
        lastTick = now;
        print("tick " + QByteArray::number(lateness) + '\n');
    });

    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &app, [&] {
        QElapsedTimer stopping;
        stopping.start();
        discovery.requestInterruption();
        discovery.wait();
        print("stopped " + QByteArray::number(stopping.elapsed()) + "\nmax-lateness " +
              QByteArray::number(maxLateness) + "\npeak-rss-kib " + peakResidentKib() + '\n');
        quiet.start();
        QTimer::singleShot(maxDrainMs, &app, &QCoreApplication::quit);
    });

    clock.start();
    heartbeat.start();
    discovery.start();
    return app.exec();
}
