#pragma once

#include "devicerecord.h"
#include "recordfilling.h"

#include "soapwsddProxy.h"

#include <QByteArray>

#include <cstring>
#include <sstream>

// Parses a message with gSOAP exactly as the prober receives an answer, but
// from memory, and fills a zeroed record from it.
class RecordFillingHarness
{
public:
    static DeviceRecord fill(const QByteArray &message, int *status = nullptr)
    {
        DeviceRecord record;
        std::memset(&record, 0, sizeof record);
        wsddProxy proxy("soap.udp://239.255.255.250:3702/", SOAP_C_UTFSTRING);
        std::istringstream stream(message.toStdString());
        proxy.soap->is = &stream;
        __wsdd__ProbeMatches answer;
        const int result = proxy.recv_ProbeMatches(answer);
        if (status)
            *status = result;
        if (result == SOAP_OK && answer.wsdd__ProbeMatches)
            fillRecord(*answer.wsdd__ProbeMatches, record);
        proxy.destroy();
        return record;
    }
};
