#include "discoverer.h"

#include "abortthread.h"
#include "devicerecord.h"
#include "platform.h"
#include "recordfilling.h"

#include "soapwsddProxy.h"

#include <QElapsedTimer>

namespace {

const char endpoint[] = "soap.udp://239.255.255.250:3702/";
const char discoveryTo[] = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";
const char probeAction[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe";
constexpr int receiveTimeoutSeconds = 6;
// Room for a burst of answers from a large site (about 3,000 of 1.4 KB)
// while the thread is busy with earlier ones. Windows grants it; Linux caps
// it at net.core.rmem_max.
constexpr int receiveBufferBytes = 4 * 1024 * 1024;

void destroyProxy(wsddProxy *&proxy)
{
    proxy->destroy();
    delete proxy;
    proxy = nullptr;
}

// A failed receive ends the collection only when the address has gone quiet
// or its socket failed; anything else was one unusable message.
bool endsCollection(const soap *context, qint64 waitedMs)
{
    if (!soap_valid_socket(context->socket) || context->errnum != 0)
        return true;
    return context->error == SOAP_EOF && waitedMs >= receiveTimeoutSeconds * 1000;
}

} // namespace

// gSOAP reads a UDP message like a stream and would take the next datagram
// as the continuation of a truncated or broken one, losing the answer in it.
// This receive hook hands the parser at most one datagram per message, and
// never lets it fall back to standard input when there is no socket.
size_t Discoverer::receiveOneDatagram(soap *context, char *buffer, size_t length)
{
    auto *gate = static_cast<ReceiveGate *>(context->user);
    if (gate->datagramTaken || !soap_valid_socket(context->socket))
        return 0;
    gate->datagramTaken = true;
    return gate->receive(context, buffer, length);
}

Discoverer::Discoverer() = default;

Discoverer::~Discoverer()
{
    close();
}

bool Discoverer::probe(quint32 address, DeviceRecord &record)
{
    close();
    // No Probe without its watchdog: nothing else would end a receive that hangs.
    watchdog = std::make_unique<AbortThread>();
    if (!watchdog->watch()) {
        watchdog.reset();
        return false;
    }
    // Names and addresses are kept as the UTF-8 the device sent.
    proxy = new (std::nothrow) wsddProxy(endpoint, SOAP_C_UTFSTRING);
    if (!proxy)
        return false;

    const QByteArray messageId = Platform::newMessageId();
    proxy->soap_header(nullptr, const_cast<char *>(messageId.constData()), nullptr, nullptr,
                       nullptr, nullptr, const_cast<char *>(discoveryTo),
                       const_cast<char *>(probeAction), nullptr);

    gate.receive = proxy->soap->frecv;
    proxy->soap->frecv = receiveOneDatagram;
    proxy->soap->user = &gate;

    multicastInterface = address;
    proxy->soap->recv_timeout = receiveTimeoutSeconds;
    // gSOAP sets this on the socket that the send opens.
    proxy->soap->rcvbuf = receiveBufferBytes;
    proxy->soap->sndbuf = 0; // the system's default; gSOAP's own is 64 KiB
    proxy->soap->ipv4_multicast_if = reinterpret_cast<char *>(&multicastInterface);

    // No Types and no scope text: every target service on the link answers.
    wsdd__ScopesType scopes;
    wsdd__ProbeType request;
    request.Scopes = &scopes;
    proxy->send_Probe(nullptr, nullptr, &request);
    return nextMatch(record);
}

bool Discoverer::nextMatch(DeviceRecord &record)
{
    while (proxy) {
        __wsdd__ProbeMatches answer;
        gate.datagramTaken = false;
        QElapsedTimer waited;
        waited.start();
        watchdog->arm();
        const int status = proxy->recv_ProbeMatches(answer);
        watchdog->disarm();

        if (status == SOAP_OK) {
            if (answer.wsdd__ProbeMatches)
                fillRecord(*answer.wsdd__ProbeMatches, record);
            // The record holds copies; what the context parsed is not needed any more.
            proxy->destroy();
            return true;
        }
        if (endsCollection(proxy->soap, waited.elapsed())) {
            destroyProxy(proxy);
            return false;
        }
        proxy->destroy(); // skip the unusable message and listen on
    }
    return false;
}

void Discoverer::close()
{
    if (proxy)
        destroyProxy(proxy);
    if (watchdog) {
        watchdog->finish();
        watchdog->wait();
        watchdog.reset();
    }
}
