#pragma once

#include "ssdplocations.h"

#include <QString>
#include <QThread>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// SSDP search: the thread sends one M-SEARCH from every local IPv4 address
// and collects the LOCATION of every answer; in the GUI thread a timer
// fetches each new location's description and emits one device record,
// "[" friendly name "] <" URL ">\r\n", per fetch.
//
// Control it through the thread interface: start() begins a run,
// requestInterruption() and wait() end it.
class SsdpDiscovery : public QThread
{
    Q_OBJECT

public:
    SsdpDiscovery();
    ~SsdpDiscovery() override;

    // The text of the first friendlyName element of a device description,
    // verbatim; "Unknown" without one.
    static QString friendlyName(const QString &description);
    // The device record of a fetched description.
    static QString record(const QString &name, const QUrl &url);

signals:
    void dataReceived(const QString &str);

protected:
    void run() override;

    // What a run has found, for the fetch timer to take: a subclass that
    // finds locations in another way fills it in its own run().
    SsdpLocations locations;

private slots:
    void slotXmlReceived(QNetworkReply *reply);
    void slotTimer();

private:
    void fetch(const QUrl &url);

    QTimer *fetchTimer;
    QNetworkAccessManager *networkManager;
};
