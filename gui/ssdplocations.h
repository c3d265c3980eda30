#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>

#include <functional>

// The locations that one SSDP search run has taken from the answers, each
// queued once for its description to be fetched: the search thread adds
// them, the GUI thread takes them. The hosts on the network choose what
// they announce, so a run is bounded in what each sender adds, in what all
// of them add, and in the size of each location.
class SsdpLocations
{
public:
    // A real device announces a handful of locations; this leaves room for
    // a gateway with many embedded devices. One host that announces more
    // cannot crowd out the devices that answer after it.
    static constexpr qsizetype maxLocationsPerSender = 64;
    // Far above a real network's, which are rarely more than a few hundred;
    // the bound behind the one per sender. Each location becomes a row of
    // the window, which holds some tens of kilobytes for a long one.
    static constexpr qsizetype maxLocations = 2048;
    // Real devices announce URLs of well under 300 bytes. 2048 bytes leaves
    // room for long paths and still bounds what a run holds to a few
    // megabytes, even full of locations that are never fetched.
    static constexpr qsizetype maxLocationBytes = 2048;

    // Whether the caller has been asked to end.
    using StopCheck = std::function<bool()>;

    // Forgets every location and sender, so that a new run finds and reports
    // them again.
    void clear();
    // Queues each LOCATION of one answer from sender. Stops between its lines
    // once stopRequested() is true: a rescan or the exit waits for it.
    void addAnswer(const QByteArray &datagram, const QHostAddress &sender,
                   const StopCheck &stopRequested);
    // Takes the oldest queued location; false when none is queued.
    bool takeFirst(QString &location);
    bool hasPending() const;

private:
    bool isFull(const QHostAddress &sender) const;
    void add(const QString &location, const QHostAddress &sender);

    // The search thread's own. Kept in UTF-8, which a queued location shares.
    QSet<QByteArray> seenLocations;
    QHash<QHostAddress, qsizetype> takenFrom;

    QList<QByteArray> pendingLocations;
    mutable QMutex queueMutex; // guards pendingLocations
};
