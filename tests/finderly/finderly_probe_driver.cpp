// Finderly's native side without its window, for the network tests: wired as
// the program's entry wires it, it runs a number of scans and prints, one
// JSON object per line, every record of both ways and every pair that the
// back end hands out. Run it inside a test network namespace only.
//
//   finderly_probe_driver [--scans N] [--scan-seconds S]
//
// Lines: {"t","scan","rescan":true} when a scan starts, {"t","scan","way","record"}
// per record, {"t","scan","name","address"} per pair (drained every 100 ms, as
// the window polls), and at the end {"maxTickGapMs"}: the longest the event
// loop was held between two polls, and {"maxRssKb"}: the peak memory use.

#include "backend.h"
#include "discoverysources.h"
#include "lenscoutrunner.h"
#include "ssdpdiscovery.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>

#include <psapi.h> // after windows.h, which it needs
#else
#include <sys/resource.h>
#endif

namespace {

QElapsedTimer sinceStart;
int scan = 0;

void print(QJsonObject line)
{
    if (!line.contains(QLatin1String("maxRssKb"))) {
        line.insert(QLatin1String("t"), sinceStart.elapsed());
        line.insert(QLatin1String("scan"), scan);
    }
    std::fputs(QJsonDocument(line).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

qint64 peakMemoryKb()
{
#ifdef Q_OS_WIN
    PROCESS_MEMORY_COUNTERS counters = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return qint64(counters.PeakWorkingSetSize / 1024);
#else
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss);
#endif
}

void printRecord(const char *way, const QString &record)
{
    print({{QLatin1String("way"), QLatin1String(way)}, {QLatin1String("record"), record}});
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption scansOption(QStringLiteral("scans"), QStringLiteral("scans to run"),
                                         QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption secondsOption(QStringLiteral("scan-seconds"),
                                           QStringLiteral("length of each scan"),
                                           QStringLiteral("S"), QStringLiteral("9"));
    parser.addOptions({scansOption, secondsOption});
    parser.process(app);
    const int scans = parser.value(scansOption).toInt();
    const int scanMs = int(parser.value(secondsOption).toDouble() * 1000);

    auto *backEnd = new BackEnd;
    QObject::connect(backEnd, &BackEnd::btnRescan, backEnd, rescanAll, Qt::DirectConnection);
    createSources();
    QObject::connect(runnerInstance, &Lenscout::dataReceived, runnerInstance,
                     [](const QString &record) { printRecord("lenscout", record); });
    QObject::connect(ssdpInstance, &SsdpDiscovery::dataReceived, ssdpInstance,
                     [](const QString &record) { printRecord("ssdp", record); });

    const auto drain = [backEnd] {
        for (QStringList device = backEnd->getDevice(); device.size() == 2;
             device = backEnd->getDevice()) {
            print({{QLatin1String("name"), device[0]}, {QLatin1String("address"), device[1]}});
        }
    };
    const auto rescan = [backEnd, drain] {
        drain();
        ++scan;
        print({{QLatin1String("rescan"), true}});
        backEnd->onBtnRescan();
    };

    qint64 lastTick = 0;
    qint64 maxTickGap = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        maxTickGap = qMax(maxTickGap, sinceStart.elapsed() - lastTick);
        lastTick = sinceStart.elapsed();
        drain();
        if (sinceStart.elapsed() >= qint64(scan) * scanMs) {
            if (scan < scans)
                rescan();
            else
                app.quit();
        }
    });
    sinceStart.start();
    rescan();
    poll.start(100);
    app.exec();
    drain();

    stopSources(); // as the program shuts down
    delete backEnd;
    print(
        {{QLatin1String("maxTickGapMs"), maxTickGap}, {QLatin1String("maxRssKb"), peakMemoryKb()}});
    return 0;
}
