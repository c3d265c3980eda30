#pragma once

#include <QtGlobal>

#include <cstddef>

// One WS-Discovery answer boiled down to a name and its device-service
// addresses. Records are compared byte for byte, so a record is always zeroed
// completely before it is filled.
struct DeviceRecord
{
    static constexpr int nameSize = 256;
    static constexpr int maxAddresses = 20;
    static constexpr int addressSize = 512;

    char name[nameSize];
    qint32 addressCount;
    char addresses[maxAddresses][addressSize];
};

static_assert(sizeof(DeviceRecord) == 10500, "DeviceRecord must be 10,500 bytes without gaps");
static_assert(offsetof(DeviceRecord, addresses) == DeviceRecord::nameSize + sizeof(qint32),
              "DeviceRecord must have no padding");
