#pragma once

// What the hostile-network tests share: reading the JSON-lines logs of the
// flooder and the simulators, and the kernel's count of dropped datagrams.

#include "jsonlines.h"
#include "testnetwork.h"

#include <QJsonObject>
#include <QString>

namespace Hostile {

// The one flood that the flooder logged at path; an empty object if there was
// not exactly one.
inline QJsonObject onlyFlood(const QString &path)
{
    const QList<QJsonObject> floods = jsonLines(path, QStringLiteral("flood"));
    return floods.size() == 1 ? floods.first() : QJsonObject();
}

// The datagrams that the host's UDP sockets had to drop for want of buffer
// space so far, from the counters of the host's namespace.
inline qint64 receiveBufferErrors(TestNetwork &network)
{
    QByteArray snmp;
    const QStringList file{QStringLiteral("/proc/net/snmp")};
    if (network.run('h', QStringLiteral("cat"), file, 10000, &snmp) != 0)
        return -1;
    // Two lines "Udp: NAME..." and "Udp: VALUE...".
    QList<QByteArray> udp;
    for (const QByteArray &line : snmp.split('\n')) {
        if (line.startsWith("Udp: "))
            udp << line;
    }
    if (udp.size() != 2)
        return -1;
    const QList<QByteArray> names = udp[0].split(' ');
    const QList<QByteArray> values = udp[1].split(' ');
    const qsizetype k = names.indexOf("RcvbufErrors");
    return k > 0 && k < values.size() ? values[k].toLongLong() : -1;
}

} // namespace Hostile
