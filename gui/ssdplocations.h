#pragma once

#include <QByteArray>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>

// The locations that one SSDP search run has taken from the answers, each
// queued once for its description to be fetched: the search thread adds
// them, the GUI thread takes them. The hosts on the network choose how many
// locations they announce, so a run takes at most maxLocations of them.
class SsdpLocations
{
public:
    // Far above any real network.
    static constexpr qsizetype maxLocations = 10000;

    // Forgets every location, so that a new run finds and reports them again.
    void clear();
    // Queues each LOCATION of one answer. Stops between its lines once the
    // calling thread is asked to end: a rescan or the exit waits for it.
    void addAnswer(const QByteArray &datagram);
    // Queues location unless this run has taken it already or is full.
    void add(const QString &location);
    // Takes the oldest queued location; false when none is queued.
    bool takeFirst(QString &location);
    // The queued locations, oldest first.
    QStringList pending() const;

private:
    QSet<QString> seenLocations; // the search thread's own
    QStringList pendingLocations;
    mutable QMutex queueMutex; // guards pendingLocations
};
