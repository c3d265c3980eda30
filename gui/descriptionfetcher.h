#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

class DescriptionDownload;
class QTimer;
class SsdpLocations;

// The HTTP side of the SSDP search, in the GUI thread: a timer takes the
// queued locations, fetches each one's description and emits one device
// record, "[" friendly name "] <" URL ">\r\n", per fetch.
//
// Each host has its own share of fetches at a time, and all of them
// together are bounded: a host that holds its fetches open delays only its
// own later ones. Every fetch ends within its time bound and one tick.
class DescriptionFetcher : public QObject
{
    Q_OBJECT

public:
    // Takes the locations that source queues; source outlives the fetcher.
    explicit DescriptionFetcher(SsdpLocations &source, QObject *parent = nullptr);
    ~DescriptionFetcher() override;

    // The text of the first friendlyName element of a device description,
    // verbatim; "Unknown" without one.
    static QString friendlyName(const QString &description);
    // The device record of a fetched description.
    static QString record(const QString &name, const QUrl &url);

    // Whether no location is queued, none waits for a share and none is fetched.
    bool isIdle() const;

signals:
    void dataReceived(const QString &str);

private slots:
    void slotXmlReceived(DescriptionDownload *download);
    void slotTimer();

private:
    struct Waiting
    {
        QUrl url;
        QString host;
    };
    struct Running
    {
        QString host;
        qint64 startedMs;
    };

    void start(const Waiting &fetch, qint64 now);

    SsdpLocations &source;
    QTimer *fetchTimer;
    QList<Waiting> waiting; // taken from source, until their host has a free share
    QHash<DescriptionDownload *, Running> running;
    QHash<QString, int> runningPerHost;
};
