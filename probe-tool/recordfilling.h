#pragma once

struct DeviceRecord;
struct wsdd__ProbeMatchesType;

// Copies name and device-service addresses of the first ProbeMatch of an
// answer into a zeroed record. Internal to the prober; the tests parse
// answers from memory through it.
void fillRecord(const wsdd__ProbeMatchesType &message, DeviceRecord &record);
