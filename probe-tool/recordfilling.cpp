#include "recordfilling.h"

#include "devicerecord.h"
#include "platform.h"

#include "soapH.h"
// The runtime's default namespace table, which answers are parsed against;
// every proxy context installs its own copy.
#include "wsdd.nsmap"

#include <cstring>

namespace {

const char namePrefix[] = "onvif://www.onvif.org/name/";

// Every "%20" becomes a space, searching again from the start after each one.
void decodeSpaces(char *name)
{
    while (char *escape = std::strstr(name, "%20")) {
        *escape = ' ';
        std::memmove(escape + 1, escape + 3, std::strlen(escape + 3) + 1);
    }
}

} // namespace

void fillRecord(const wsdd__ProbeMatchesType &message, DeviceRecord &record)
{
    if (message.__sizeProbeMatch < 1 || !message.ProbeMatch)
        return;
    const wsdd__ProbeMatchType &match = message.ProbeMatch[0];

    const char *scopes = match.Scopes ? match.Scopes->__item : nullptr;
    const char *nameScope = scopes ? std::strstr(scopes, namePrefix) : nullptr;
    if (nameScope) {
        char name[DeviceRecord::nameSize] = {};
        Platform::scanToken(nameScope + sizeof namePrefix - 1, name, sizeof name);
        decodeSpaces(name);
        Platform::copyText(record.name, sizeof record.name, name);
    } else {
        Platform::copyText(record.name, sizeof record.name, "Unknown");
    }

    if (!match.XAddrs)
        return; // no address slot: stored by the reporter, never printed
    const char *rest = match.XAddrs;
    int i = 0;
    while (i < DeviceRecord::maxAddresses - 1) {
        const char *space = std::strchr(rest, ' ');
        if (!space)
            break;
        Platform::scanToken(rest, record.addresses[i], DeviceRecord::addressSize);
        ++i;
        rest = space + 1;
    }
    Platform::copyText(record.addresses[i], DeviceRecord::addressSize, rest);
    record.addressCount = i + 1;
}
