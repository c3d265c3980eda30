#include "localaddresslist.h"

#include "interfaceaddresses.h"

#include <cstring>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

namespace {

// Number of leading octets (0 to 3) that two network-order addresses share.
int sharedOctets(quint32 a, quint32 b)
{
    unsigned char x[4];
    unsigned char y[4];
    std::memcpy(x, &a, 4);
    std::memcpy(y, &b, 4);
    int n = 0;
    while (n < 3 && x[n] == y[n])
        ++n;
    return n;
}

QList<QHostAddress> ips(const QList<QNetworkAddressEntry> &entries)
{
    QList<QHostAddress> result;
    result.reserve(entries.size());
    for (const QNetworkAddressEntry &entry : entries)
        result.append(entry.ip());
    return result;
}

} // namespace

LocalAddressList::LocalAddressList() : LocalAddressList(ips(interfaceAddresses())) {}

LocalAddressList::LocalAddressList(const QList<QHostAddress> &candidates)
    : values(new quint32[capacity])
{
    for (const QHostAddress &ip : candidates) {
        if (ip.isGlobal())
            append(ip.toString());
    }
}

LocalAddressList::~LocalAddressList()
{
    delete[] values;
}

void LocalAddressList::append(const QString &text)
{
    quint32 value = 0;
    if (inet_pton(AF_INET, text.toUtf8().constData(), &value) != 1)
        return; // not IPv4 text
    if (value == 0xffffffffu || entries >= capacity)
        return;
    values[entries++] = value;
}

int LocalAddressList::prefixScore(quint32 a) const
{
    if (entries == 0)
        return -1;
    int best = 0;
    for (int i = 0; i < entries && best < 3; ++i)
        best = qMax(best, sharedOctets(values[i], a));
    return best;
}

QString LocalAddressList::addressText(int i) const
{
    char text[24] = {};
    if (!inet_ntop(AF_INET, &values[i], text, sizeof text))
        return QString();
    return QString::fromLatin1(text);
}
