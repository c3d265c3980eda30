// One received datagram as the prober handles it: gSOAP's ProbeMatches
// parsing, the record filling and the reporter.

#include "devicerecord.h"
#include "devicereporter.h"
#include "fuzzing.h"
#include "localaddresslist.h"
#include "recordfillingharness.h"

#include <QHostAddress>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

const LocalAddressList &localAddresses()
{
    static const LocalAddressList addresses(
        {QHostAddress(QStringLiteral("192.0.2.1")), QHostAddress(QStringLiteral("198.51.100.1"))});
    return addresses;
}

// A text slot ends within its size and is all zeros behind its end: the
// reporter compares records byte for byte, so a stale byte would make one
// device two.
bool clean(const char *slot, size_t size)
{
    const char *end = static_cast<const char *>(std::memchr(slot, '\0', size));
    return end && std::all_of(end, slot + size, [](char c) { return c == '\0'; });
}

// One reporter for many inputs, as the prober has one for all answers: a new
// one per input would cost a fresh 105 MB table, which AddressSanitizer's
// shadow makes 13 ms. Renewed long before its table fills, so that every new
// record is printed; a record seen before is left out, as a repeated answer.
DeviceReporter &reporterForNextInput()
{
    static std::unique_ptr<DeviceReporter> current;
    static int inputs = 0;
    if (inputs++ % 1000 == 0)
        current = std::make_unique<DeviceReporter>(&localAddresses());
    return *current;
}

// A record is printed as one line, whatever the answer held.
bool oneLine(const char *text)
{
    return !std::strpbrk(text, "\t\r\n");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    FUZZ_CHECK(quiet);
    Fuzzing::setUp();
    FUZZ_CHECK(localAddresses().count() == 2);

    const DeviceRecord record = RecordFillingHarness::fill(Fuzzing::bytes(data, size));
    const int count = record.addressCount;
    FUZZ_CHECK(count >= 0 && count <= DeviceRecord::maxAddresses);
    FUZZ_CHECK(clean(record.name, sizeof record.name) && oneLine(record.name));
    for (int i = 0; i < DeviceRecord::maxAddresses; ++i) {
        FUZZ_CHECK(clean(record.addresses[i], DeviceRecord::addressSize) &&
                   oneLine(record.addresses[i]));
        FUZZ_CHECK(i < count || record.addresses[i][0] == '\0');
    }

    DeviceReporter &reporter = reporterForNextInput();
    const int chosen = reporter.chooseAddress(record);
    FUZZ_CHECK(count == 0 ? chosen == -1 : chosen >= 0 && chosen < count);
    reporter.report(record);
    reporter.report(record); // the same answer again is left out
    return 0;
}
