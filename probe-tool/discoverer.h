#pragma once

#include <QObject>

#include <cstddef>
#include <memory>

class AbortThread;
class wsddProxy;
struct DeviceRecord;
struct soap;

// The WS-Discovery exchange of one local address: one multicast Probe, then
// one ProbeMatches answer per receive.
class Discoverer : public QObject
{
    Q_OBJECT

public:
    Discoverer();
    ~Discoverer() override;

    // Sends a new Probe out of address (network byte order) and receives the
    // first answer into record; true when one arrived.
    bool probe(quint32 address, DeviceRecord &record);
    // Receives the next answer into record; false once the address has been
    // quiet for the receive timeout or its socket failed.
    bool nextMatch(DeviceRecord &record);
    void close();

private:
    // State of the receive hook that limits one message to one datagram.
    struct ReceiveGate
    {
        size_t (*receive)(soap *, char *, size_t) = nullptr;
        bool datagramTaken = false;
    };
    static size_t receiveOneDatagram(soap *context, char *buffer, size_t length);

    wsddProxy *proxy = nullptr;
    // Watches every receive of this address, from the Probe to close().
    std::unique_ptr<AbortThread> watchdog;
    ReceiveGate gate;
    quint32 multicastInterface = 0; // the context points here while the Probe is sent
};
