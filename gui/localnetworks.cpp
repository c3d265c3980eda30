#include "localnetworks.h"

#include "interfaceaddresses.h"

#include <algorithm>
#include <utility>

LocalNetworks LocalNetworks::current()
{
    return LocalNetworks(interfaceAddresses());
}

LocalNetworks::LocalNetworks(const QList<QNetworkAddressEntry> &entries)
{
    // The same addresses as the searches send from.
    for (const QNetworkAddressEntry &entry : entries) {
        const QHostAddress ip = entry.ip();
        if (ip.protocol() == QAbstractSocket::IPv4Protocol && ip.isGlobal() &&
            ip != QHostAddress::Broadcast)
            add(ip, entry.prefixLength());
    }
}

LocalNetworks LocalNetworks::fromText(const QStringList &texts)
{
    LocalNetworks result;
    for (const QString &text : texts) {
        const QPair<QHostAddress, int> network = QHostAddress::parseSubnet(text);
        if (network.first.protocol() == QAbstractSocket::IPv4Protocol)
            result.add(network.first, network.second);
    }
    return result;
}

void LocalNetworks::add(const QHostAddress &ip, int prefixLength)
{
    // A system that tells no prefix gives the address alone.
    if (prefixLength < 0 || prefixLength > 32)
        prefixLength = 32;
    const quint32 mask = prefixLength == 0 ? 0 : ~quint32(0) << (32 - prefixLength);
    const QPair<QHostAddress, int> network(QHostAddress(ip.toIPv4Address() & mask), prefixLength);
    const auto place = std::lower_bound(networks.begin(), networks.end(), network,
                                        [](const auto &a, const auto &b) {
                                            return std::pair(a.first.toIPv4Address(), a.second) <
                                                   std::pair(b.first.toIPv4Address(), b.second);
                                        });
    if (place == networks.end() || *place != network)
        networks.insert(place, network);
}

QStringList LocalNetworks::toText() const
{
    QStringList texts;
    for (const auto &network : networks)
        texts.append(network.first.toString() + QLatin1Char('/') + QString::number(network.second));
    return texts;
}

bool LocalNetworks::contains(const QHostAddress &host) const
{
    for (const auto &network : networks) {
        if (host.isInSubnet(network))
            return true;
    }
    return false;
}
