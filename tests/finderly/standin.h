#pragma once

// The stand-in for Lenscout that the runner tests put where the runner looks
// for the tool, and what it prints and records.

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <signal.h>
#endif

namespace StandIn {

// Three records as the tool writes them to a pipe on Windows: an empty line
// before and after each, CR LF line ends, one name in German and Japanese.
inline const QByteArray output =
    "\r\n[Front Door] <http://192.0.2.20/onvif/device_service>\r\n\r\n"
    "\r\n[Kamera M\xc3\xbcller \xe6\x9d\xb1\xe4\xba\xac] "
    "<http://192.0.2.21:8080/onvif/device_service>\r\n\r\n"
    "\r\n[[TV] Samsung 7 Series (50)] <http://192.0.2.22:80/onvif/device_service>\r\n\r\n";

// The lines the runner emits for output.
inline QStringList records()
{
    return {QStringLiteral("[Front Door] <http://192.0.2.20/onvif/device_service>\r\n"),
            QString::fromUtf8("[Kamera M\xc3\xbcller \xe6\x9d\xb1\xe4\xba\xac] "
                              "<http://192.0.2.21:8080/onvif/device_service>\r\n"),
            QStringLiteral("[[TV] Samsung 7 Series (50)] "
                           "<http://192.0.2.22:80/onvif/device_service>\r\n")};
}

// The path of the stand-in as seen from a test program beside it.
inline QString program(const QString &testDir)
{
    return testDir + QStringLiteral("/Lenscout/Lenscout");
}

// Every stand-in appends "<pid> <monotonic start ms> alone|overlap" to this
// file of its parent: overlap means that an earlier stand-in of the same
// parent was still alive when it started.
inline QString statusPath(qint64 parentPid)
{
    return QDir::temp().filePath(QStringLiteral("finderly-standin-%1.status").arg(parentPid));
}

inline QString lockPath(qint64 parentPid)
{
    return QDir::temp().filePath(QStringLiteral("finderly-standin-%1.lock").arg(parentPid));
}

// The clock of Start::startedMs, shared by all processes of the machine.
inline qint64 monotonicMs()
{
    QElapsedTimer clock;
    clock.start();
    return clock.msecsSinceReference();
}

struct Start
{
    qint64 pid = 0;
    qint64 startedMs = 0; // monotonicMs()
    bool alone = false;
};

// The stand-ins started so far by the process parentPid, oldest first.
inline QList<Start> starts(qint64 parentPid)
{
    QList<Start> list;
    QFile file(statusPath(parentPid));
    if (!file.open(QIODevice::ReadOnly))
        return list;
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().trimmed().split(' ');
        if (fields.size() == 3)
            list.append({fields[0].toLongLong(), fields[1].toLongLong(), fields[2] == "alone"});
    }
    return list;
}

inline void forgetStarts(qint64 parentPid)
{
    QFile::remove(statusPath(parentPid));
    QFile::remove(lockPath(parentPid));
}

// True also for a child that has ended but was never waited for (on Linux).
inline bool exists(qint64 pid)
{
#ifdef Q_OS_WIN
    // Windows keeps no zombies: the question is whether it still runs.
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!process)
        return false;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
#else
    return ::kill(pid_t(pid), 0) == 0;
#endif
}

} // namespace StandIn
