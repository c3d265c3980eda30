#include "ssdplocations.h"

#include <QMutexLocker>
#include <QThread>

void SsdpLocations::clear()
{
    seenLocations.clear();
    QMutexLocker locker(&queueMutex);
    pendingLocations.clear();
}

void SsdpLocations::addAnswer(const QByteArray &datagram)
{
    // Once the run is full nothing can be queued, so the answer is not even decoded.
    if (seenLocations.size() >= maxLocations)
        return;
    // Header lines end in CR LF only; the header name is matched in any case,
    // at the very start of the line and with the colon right behind it.
    const QLatin1String header("LOCATION:");
    const QStringList lines = QString::fromUtf8(datagram).split(QLatin1String("\r\n"));
    const QThread *reader = QThread::currentThread();
    for (const QString &line : lines) {
        if (reader->isInterruptionRequested())
            return;
        if (line.toUpper().startsWith(header))
            add(line.mid(header.size()).trimmed());
    }
}

void SsdpLocations::add(const QString &location)
{
    if (seenLocations.contains(location) || seenLocations.size() >= maxLocations)
        return;
    seenLocations.insert(location);
    QMutexLocker locker(&queueMutex);
    pendingLocations.append(location);
}

bool SsdpLocations::takeFirst(QString &location)
{
    QMutexLocker locker(&queueMutex);
    if (pendingLocations.isEmpty())
        return false;
    location = pendingLocations.takeFirst();
    return true;
}

QStringList SsdpLocations::pending() const
{
    QMutexLocker locker(&queueMutex);
    return pendingLocations;
}
