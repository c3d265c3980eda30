#include "interfaceaddresses.h"

#include <QNetworkInterface>

QList<QNetworkAddressEntry> interfaceAddresses()
{
    QList<QNetworkAddressEntry> addresses;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &networkInterface : interfaces)
        addresses.append(networkInterface.addressEntries());
    return addresses;
}
