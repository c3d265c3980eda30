#pragma once

#include <QString>
#include <QtGlobal>

// The global IPv4 addresses of all network interfaces, in enumeration order.
// Each address is a 32-bit value in network byte order (the octets in address
// order in memory, as inet_pton writes them). Filled once; read-only afterwards.
class LocalAddressList
{
public:
    static constexpr int capacity = 256;

    LocalAddressList();
    ~LocalAddressList();

    LocalAddressList(const LocalAddressList &) = delete;
    LocalAddressList &operator=(const LocalAddressList &) = delete;

    int count() const { return entries; }
    quint32 address(int i) const { return values[i]; }

    // 3, 2, 1 or 0: the number of leading octets that the best-matching local
    // address shares with a (only 3, 2, 1 are distinguished); -1 without entries.
    int prefixScore(quint32 a) const;

    QString addressText(int i) const;

private:
    void append(const QString &text);

    int entries = 0;
    quint32 *values;
};
