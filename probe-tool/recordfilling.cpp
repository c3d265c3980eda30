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
// XAddrs is an XML list: any XML white space separates its addresses.
const char listSeparators[] = " \t\r\n";
const char lineBreaksAndTabs[] = "\t\r\n";

// Every "%20" becomes a space, searching again from the start after each one.
void decodeSpaces(char *name)
{
    while (char *escape = std::strstr(name, "%20")) {
        *escape = ' ';
        std::memmove(escape + 1, escape + 3, std::strlen(escape + 3) + 1);
    }
}

// A record is one line of output: the remainder of a list longer than the
// slots keeps its addresses apart by spaces, never by a line break or a tab.
void flattenSeparators(char *text)
{
    for (char *c = text; (c = std::strpbrk(c, lineBreaksAndTabs)) != nullptr; ++c)
        *c = ' ';
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
        const char *separator = rest + std::strcspn(rest, listSeparators);
        if (*separator == '\0')
            break;
        Platform::scanToken(rest, record.addresses[i], DeviceRecord::addressSize);
        ++i;
        rest = separator + 1;
    }
    if (Platform::copyText(record.addresses[i], DeviceRecord::addressSize, rest))
        flattenSeparators(record.addresses[i]);
    record.addressCount = i + 1;
}
