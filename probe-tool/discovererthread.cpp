#include "discovererthread.h"

#include "devicerecord.h"
#include "devicereporter.h"
#include "discoverer.h"

#include <cstring>

LocalAddressList *addressList = nullptr;
DeviceReporter *reporter = nullptr;

void DiscovererThread::run()
{
    DeviceRecord record;
    std::memset(&record, 0, sizeof record);
    Discoverer discoverer;
    if (discoverer.probe(address, record)) {
        do {
            reporter->report(record);
            std::memset(&record, 0, sizeof record);
        } while (discoverer.nextMatch(record));
    }
    discoverer.close();
}
