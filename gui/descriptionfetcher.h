#pragma once

#include "descriptiontransfers.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

class QTimer;
class SsdpLocations;

// The HTTP side of the SSDP search, in the GUI thread: a timer takes the
// queued locations, fetches each one's description and emits one device
// record, "[" friendly name "] <" location ">\r\n", per location.
//
// Each host has its own share of fetches at a time, and all of them
// together are bounded: a host that holds its fetches open delays only its
// own later ones, and the hosts that wait take their turns, so that one
// host's long queue never delays another's first fetch. A redirect is a
// fetch of its own, in the share of the host it leads to, within the time
// bound of the location's first fetch.
class DescriptionFetcher : public QObject
{
    Q_OBJECT

public:
    static constexpr int fetchTimeoutMs = 10000;
    static constexpr int maxRedirects = 5;
    // As many connections as a browser opens to one host; all hosts together
    // hold a bounded number of sockets and description buffers.
    static constexpr int maxFetchesPerHost = 6;
    static constexpr int maxFetches = 64;

    // Takes the locations that source queues; source outlives the fetcher.
    explicit DescriptionFetcher(SsdpLocations &source, QObject *parent = nullptr);
    ~DescriptionFetcher() override;

    // Whether url is one that is fetched: http or https. Any other scheme
    // could make us read local files (file:///dev/zero would never end).
    static bool canFetch(const QUrl &url);
    // The text of the first friendlyName element of a device description,
    // verbatim; "Unknown" without one.
    static QString friendlyName(const QString &description);
    // The device record of a fetched description.
    static QString record(const QString &name, const QUrl &url);

    // Takes every location queued in the source, reports at once those that
    // cannot be fetched, and starts fetches as the shares allow. The fetch
    // timer calls it every 100 ms.
    void fetchQueued();
    // True when no location is queued in the source, no fetch waits for its
    // share and none runs.
    bool isIdle() const;
    // Drops the waiting fetches and aborts the running ones; none of them
    // emits a record.
    void clear();

signals:
    void dataReceived(const QString &str);

private slots:
    void slotXmlReceived(quint64 transfer, const DescriptionTransfers::Answer &answer);

private:
    struct Fetch
    {
        QUrl location; // as announced: the address of its record
        QUrl target;   // the location, or where it redirected to
        int redirectsLeft = maxRedirects;
        qint64 deadline = 0; // on the monotonic clock; 0 until the first start
    };

    // The key of a fetch's share: the host alone, whatever the scheme, port
    // or user information.
    static QString hostOf(const Fetch &fetch) { return fetch.target.host(); }
    void enqueue(const Fetch &fetch, bool first);
    void failExpired(qint64 now);
    void handOut();
    void start(Fetch fetch);
    void fail(const Fetch &fetch);

    SsdpLocations &source;
    QTimer *fetchTimer;
    DescriptionTransfers transfers;
    QHash<QString, QList<Fetch>> waiting; // per host, oldest first
    QList<QString> turns;                 // the hosts that wait, in turn
    qsizetype nextTurn = 0;
    qsizetype waitingCount = 0;
    qsizetype waitingRedirects = 0;
    QHash<quint64, Fetch> running;
    QHash<QString, int> runningPerHost;
};
