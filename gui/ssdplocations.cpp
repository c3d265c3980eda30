#include "ssdplocations.h"

#include <QMutexLocker>
#include <QStringList>

void SsdpLocations::clear()
{
    seenLocations.clear();
    takenFrom.clear();
    QMutexLocker locker(&queueMutex);
    pendingLocations.clear();
}

bool SsdpLocations::canTake(const QHostAddress &sender) const
{
    const qsizetype bound =
        takenFrom.value(sender) < guaranteedLocationsPerSender ? maxLocations : sharedLocations;
    return seenLocations.size() < bound;
}

void SsdpLocations::addAnswer(const QByteArray &datagram, const QHostAddress &sender,
                              const StopCheck &stopRequested)
{
    // Nothing of the answer could be queued, so it is not even decoded.
    if (!canTake(sender))
        return;
    // Header lines end in CR LF only; the header name is matched in any case,
    // at the very start of the line and with the colon right behind it.
    const QLatin1String header("LOCATION:");
    const QStringList lines = QString::fromUtf8(datagram).split(QLatin1String("\r\n"));
    for (const QString &line : lines) {
        if (stopRequested() || !canTake(sender))
            return;
        // Past its first ones, one new location per answer: a device names
        // one in each, and only a flood packs a thousand into one.
        if (line.toUpper().startsWith(header) && add(line.mid(header.size()).trimmed(), sender) &&
            takenFrom.value(sender) > guaranteedLocationsPerSender)
            return;
    }
}

bool SsdpLocations::add(const QString &location, const QHostAddress &sender)
{
    const QByteArray key = location.toUtf8();
    if (key.size() > maxLocationBytes || seenLocations.contains(key))
        return false;
    seenLocations.insert(key);
    ++takenFrom[sender];
    QMutexLocker locker(&queueMutex);
    pendingLocations.append(key);
    return true;
}

bool SsdpLocations::takeFirst(QString &location)
{
    QMutexLocker locker(&queueMutex);
    if (pendingLocations.isEmpty())
        return false;
    location = QString::fromUtf8(pendingLocations.takeFirst());
    return true;
}

bool SsdpLocations::hasPending() const
{
    QMutexLocker locker(&queueMutex);
    return !pendingLocations.isEmpty();
}
