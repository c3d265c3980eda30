#include "recordfilling.h"

#include "devicerecord.h"
#include "platform.h"

#include "soapH.h"
// The runtime's default namespace table, which answers are parsed against;
// every proxy context installs its own copy.
#include "wsdd.nsmap"

#include <climits>
#include <cstring>

namespace {

const char namePrefix[] = "onvif://www.onvif.org/name/";
// XAddrs is an XML list: a run of XML white space separates two addresses.
const char listSeparators[] = " \t\r\n";

// Every "%20" becomes a space, searching again from the start after each one.
void decodeSpaces(char *name)
{
    while (char *escape = std::strstr(name, "%20")) {
        *escape = ' ';
        std::memmove(escape + 1, escape + 3, std::strlen(escape + 3) + 1);
    }
}

const char *skipSeparators(const char *text)
{
    return text + std::strspn(text, listSeparators);
}

// Copies up to count addresses from text into a zeroed slot, one space
// apart, so that a list sent with other white space gives the same bytes.
// What does not fit leaves the slot all zero. Returns the next address.
const char *fillSlot(const char *text, int count, char *slot)
{
    std::size_t used = 0;
    bool fits = true;
    for (int n = 0; n < count && *text != '\0'; ++n) {
        const std::size_t length = std::strcspn(text, listSeparators);
        const std::size_t gap = used > 0 ? 1 : 0;
        if (fits && used + gap + length < DeviceRecord::addressSize) {
            if (gap)
                slot[used] = ' ';
            std::memcpy(slot + used + gap, text, length);
            used += gap + length;
        } else {
            fits = false;
        }
        text = skipSeparators(text + length);
    }
    if (!fits)
        std::memset(slot, 0, DeviceRecord::addressSize);
    return text;
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
    // One address a slot; the last slot takes all that are left.
    const char *next = skipSeparators(match.XAddrs);
    int i = 0;
    while (*next != '\0' && i < DeviceRecord::maxAddresses) {
        const bool last = i == DeviceRecord::maxAddresses - 1;
        next = fillSlot(next, last ? INT_MAX : 1, record.addresses[i++]);
    }
    record.addressCount = qMax(i, 1); // an empty list is one empty slot
}
