#pragma once

#include "ssdpdiscovery.h"

#include <QList>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

// Drives an SsdpDiscovery without its search thread, which sends datagrams:
// tests and fuzzers feed answers and descriptions in themselves.
class SsdpDiscoveryHarness
{
public:
    explicit SsdpDiscoveryHarness(SsdpDiscovery &discovery) : discovery(discovery) {}

    void parseResponse(const QByteArray &datagram) { discovery.parseResponse(datagram); }
    void clearLocations() { discovery.clearLocations(); }
    void fetch(const QUrl &url) { discovery.fetch(url); }

    // The locations not fetched yet, oldest first.
    QStringList pending()
    {
        QMutexLocker locker(&discovery.queueMutex);
        return discovery.pendingLocations;
    }
    // Every location of this run, fetched or not.
    QSet<QString> seen() const { return discovery.seenLocations; }
    QList<QNetworkReply *> replies() const
    {
        return discovery.networkManager->findChildren<QNetworkReply *>();
    }

    static QString friendlyName(const QString &description)
    {
        return SsdpDiscovery::friendlyName(description);
    }
    static QString record(const QString &name, const QUrl &url)
    {
        return SsdpDiscovery::record(name, url);
    }

private:
    SsdpDiscovery &discovery;
};
