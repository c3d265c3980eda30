#pragma once

class Lenscout;
class SsdpDiscovery;

// The two discovery ways of the program: the prober's runner and the SSDP
// search, set by createSources() and removed by stopSources().
extern Lenscout *runnerInstance;
extern SsdpDiscovery *ssdpInstance;

// Creates both ways, idle, and connects the records of each to its record intake.
void createSources();
// Stops the SSDP search, restarts the prober, empties the back end's queue,
// then starts a new SSDP search.
void rescanAll();
// At exit: joins the SSDP search, gives the prober 3000 ms to end (then kills
// it) and deletes both, so that no record arrives after the back end is gone.
void stopSources();
