#pragma once

#include <QHostAddress>
#include <QList>
#include <QNetworkAddressEntry>
#include <QPair>
#include <QStringList>

// The IPv4 networks on which this computer has a global address, each once,
// in the order of their addresses: where both discovery ways search, and so
// where a device has to be for its page to open.
class LocalNetworks
{
public:
    // The networks of the machine's interfaces as they are now.
    static LocalNetworks current();
    // The networks of entries that hold a global IPv4 address.
    explicit LocalNetworks(const QList<QNetworkAddressEntry> &entries = {});
    // Networks as toText() writes them; a text that names none is left out.
    static LocalNetworks fromText(const QStringList &texts);

    bool isEmpty() const { return networks.isEmpty(); }
    // One "192.0.2.0/24" per network.
    QStringList toText() const;
    bool contains(const QHostAddress &host) const;

private:
    void add(const QHostAddress &ip, int prefixLength);

    QList<QPair<QHostAddress, int>> networks;
};
