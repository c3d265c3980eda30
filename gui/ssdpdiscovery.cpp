#include "ssdpdiscovery.h"

#include "localaddresslist.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QHostAddress>
#include <QUdpSocket>

#include <memory>
#include <vector>

namespace {

const QByteArray searchRequest = QByteArrayLiteral("M-SEARCH * HTTP/1.1\r\n"
                                                   "HOST:239.255.255.250:1900\r\n"
                                                   "MAN:\"ssdp:discover\"\r\n"
                                                   "ST:ssdp:all\r\n"
                                                   "MX:3\r\n"
                                                   "\r\n");
constexpr quint16 sourcePort = 1901;
constexpr quint16 ssdpPort = 1900;
constexpr int receiveBufferSize = 64000;
constexpr int idleSleepMs = 10;
// The request's MX of 3 s, and a second for the network and slow devices.
constexpr qint64 answerWindowMs = 4000;

} // namespace

SsdpDiscovery::SsdpDiscovery()
{
    connect(&fetcher, &DescriptionFetcher::dataReceived, this, &SsdpDiscovery::dataReceived);
}

bool SsdpDiscovery::isSearching() const
{
    if (!isRunning())
        return false;
    const qint64 sentMs = requestsSentMs;
    return sentMs == 0 || QDeadlineTimer::current().deadline() - sentMs < answerWindowMs ||
           !fetcher.isIdle();
}

void SsdpDiscovery::stop()
{
    requestInterruption();
    wait();
    // The search thread has ended: its locations are the GUI thread's now.
    locations.clear();
    fetcher.clear();
}

void SsdpDiscovery::run()
{
    locations.clear();

    const QHostAddress group(QStringLiteral("239.255.255.250"));
    const LocalAddressList addresses;
    std::vector<std::unique_ptr<QUdpSocket>> sockets;
    for (int i = 0; i < addresses.count(); ++i) {
        sockets.push_back(std::make_unique<QUdpSocket>());
        QUdpSocket &socket = *sockets.back();
        if (!socket.bind(QHostAddress(addresses.addressText(i)), sourcePort,
                         QAbstractSocket::ShareAddress))
            continue;
        if (socket.writeDatagram(searchRequest, group, ssdpPort) == -1)
            qDebug("Failed to send UDP datagram");
    }

    requestsSentMs = QDeadlineTimer::current().deadline();

    QByteArray buffer(receiveBufferSize, '\0');
    const SsdpLocations::StopCheck stopRequested = [this] {
        return isInterruptionRequested();
    };
    while (!isInterruptionRequested()) {
        bool received = false;
        for (const auto &socket : sockets) {
            // A socket whose bind failed never has data.
            if (socket->state() != QAbstractSocket::BoundState || !socket->hasPendingDatagrams())
                continue;
            // The sender is asked for, as each one may add only its share.
            QHostAddress sender;
            const qint64 size = socket->readDatagram(buffer.data(), buffer.size(), &sender);
            // An empty datagram counts as received too: sleeping after each
            // one would let a flood of them starve the real answers.
            if (size >= 0)
                received = true;
            if (size > 0)
                locations.addAnswer(QByteArray::fromRawData(buffer.constData(), size), sender,
                                    stopRequested);
        }
        if (!received)
            msleep(idleSleepMs);
    }
    // The next run is searching from its start.
    requestsSentMs = 0;
}
