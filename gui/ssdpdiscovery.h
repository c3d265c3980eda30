#pragma once

#include <QByteArray>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
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

signals:
    void dataReceived(const QString &str);

protected:
    void run() override;

private slots:
    void slotXmlReceived(QNetworkReply *reply);
    void slotTimer();

private:
    friend class SsdpDiscoveryHarness; // tests and fuzzers, without the search thread

    // Forgets every location, so that a new run finds and reports them again.
    void clearLocations();
    // Queues each LOCATION of one answer that this run has not seen yet, up
    // to maxLocations per run.
    void parseResponse(const QByteArray &datagram);
    void fetch(const QUrl &url);
    static QString friendlyName(const QString &description);
    static QString record(const QString &name, const QUrl &url);

    QSet<QString> seenLocations;
    QStringList pendingLocations;
    QTimer *fetchTimer;
    QNetworkAccessManager *networkManager;
    QMutex queueMutex;
};
