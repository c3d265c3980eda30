#pragma once

#include <QHostAddress>
#include <QList>
#include <QStringList>

// Addresses from their text, for a LocalAddressList made of chosen addresses.
inline QList<QHostAddress> hosts(const QStringList &texts)
{
    QList<QHostAddress> list;
    for (const QString &text : texts)
        list << QHostAddress(text);
    return list;
}
