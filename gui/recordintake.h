#pragma once

#include <QChar>
#include <QString>

class Lenscout;
class SsdpDiscovery;

// The two discovery ways, set by the program's entry before its event loop runs.
extern Lenscout *runnerInstance;
extern SsdpDiscovery *ssdpInstance;

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

// Stops the SSDP search, restarts the prober, then starts a new SSDP search.
void rescanAll();
// At exit: joins the SSDP search, gives the prober 3000 ms to end (then kills
// it) and deletes both, so that no record arrives after the back end is gone.
void stopSources();
