#pragma once

#include <QChar>
#include <QString>

// The characters strictly between the first open and the first close
// character of text; empty when either is missing or close comes first.
QString textBetween(const QString &text, QChar open, QChar close);
// Scheme, host and port of url, as "scheme://host[:port]".
QString originOf(const QString &url);

// Record intake: each device record "[" name "] <" address ">" becomes one
// pair in the back end's queue. The prober's addresses are cut to their
// origin; SSDP's description URLs are kept whole.
void addLenscoutRecord(const QString &record);
void addSsdpRecord(const QString &record);
