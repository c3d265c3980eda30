#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class SsdpLocations;

// The HTTP side of the SSDP search, in the GUI thread: a timer takes the
// queued locations, fetches each one's description and emits one device
// record, "[" friendly name "] <" URL ">\r\n", per fetch.
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

signals:
    void dataReceived(const QString &str);

private slots:
    void slotXmlReceived(QNetworkReply *reply);
    void slotTimer();

private:
    void fetch(const QUrl &url);

    SsdpLocations &locations;
    QTimer *fetchTimer;
    QNetworkAccessManager *networkManager;
};
