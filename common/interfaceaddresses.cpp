#include "interfaceaddresses.h"

#include <QNetworkInterface>

QList<QHostAddress> interfaceAddresses()
{
    QList<QHostAddress> addresses;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &networkInterface : interfaces) {
        const auto addressEntries = networkInterface.addressEntries();
        for (const QNetworkAddressEntry &entry : addressEntries)
            addresses.append(entry.ip());
    }
    return addresses;
}
