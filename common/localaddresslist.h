#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QtGlobal>

// The global IPv4 addresses of all network interfaces, in enumeration order.
// Each address is a 32-bit value in network byte order (the octets in address
// order in memory, as inet_pton writes them). Filled once; read-only afterwards.
class LocalAddressList
{
public:
    static constexpr int capacity = 256;

    // The addresses of every network interface, in the order the system lists them.
    LocalAddressList();
    // The global IPv4 addresses among candidates, in their order.
    explicit LocalAddressList(const QList<QHostAddress> &candidates);
    ~LocalAddressList();

    LocalAddressList(const LocalAddressList &) = delete;
    LocalAddressList &operator=(const LocalAddressList &) = delete;

    int count() const { return entries; }
    quint32 address(int i) const { return values[i]; }

    // How many leading octets (3, 2, 1 or 0) a shares with the closest local
    // address; -1 when the list is empty.
    int prefixScore(quint32 a) const;

    QString addressText(int i) const;

private:
    void append(const QString &text);

    int entries = 0;
    quint32 *values;
};
