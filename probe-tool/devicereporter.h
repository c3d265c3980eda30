#pragma once

#include <QMultiHash>
#include <QMutex>

struct DeviceRecord;
class LocalAddressList;

// Prints one record per distinct answer on standard output:
// "\n[" name "] <" address ">\n\n", flushed at once.
class DeviceReporter
{
public:
    static constexpr int capacity = 10000;

    explicit DeviceReporter(const LocalAddressList *addressList);
    ~DeviceReporter();

    DeviceReporter(const DeviceReporter &) = delete;
    DeviceReporter &operator=(const DeviceReporter &) = delete;

    void report(const DeviceRecord &record);
    // The address slot to print: the one whose IPv4 host shares the most
    // leading octets with a local address, the first on a tie; -1 for none.
    int chooseAddress(const DeviceRecord &record) const;

private:
    int count = 0;
    DeviceRecord *records;
    // Hash of each stored record to its slot: the duplicate check compares
    // only the records that can be equal instead of scanning the table.
    QMultiHash<size_t, int> index;
    const LocalAddressList *addressList;
    QMutex mutex;
};
