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
// they announce, so a run is bounded in what all of them add and in the
// size of each location, and each sender has a fair share of it.
class SsdpLocations
{
public:
    // Far above a real network's, which are rarely more than a few hundred.
    // Each location becomes a row of the window, which holds some tens of
    // kilobytes for a long one.
    static constexpr qsizetype maxLocations = 2048;
    // Every sender's first locations are taken while the run has room: a
    // real device announces a handful, a gateway with embedded devices some
    // more.
    static constexpr qsizetype guaranteedLocationsPerSender = 64;
    // A sender's further locations (a media server with many virtual
    // devices, a proxy for a whole bus) are taken one per answer and only
    // while the run holds fewer than this, so that one host cannot crowd out
    // the devices that answer after it: they still find about half of the
    // run free.
    static constexpr qsizetype sharedLocations = maxLocations / 2;
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
    bool canTake(const QHostAddress &sender) const;
    // Whether location was new and taken.
    bool add(const QString &location, const QHostAddress &sender);

    // The search thread's own. Kept in UTF-8, which a queued location shares.
    QSet<QByteArray> seenLocations;
    QHash<QHostAddress, qsizetype> takenFrom;

    QList<QByteArray> pendingLocations;
    mutable QMutex queueMutex; // guards pendingLocations
};
