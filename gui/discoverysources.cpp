#include "discoverysources.h"

#include "backend.h"
#include "lenscoutrunner.h"
#include "recordintake.h"
#include "ssdpdiscovery.h"

Lenscout *runnerInstance = nullptr;
SsdpDiscovery *ssdpInstance = nullptr;

void createSources()
{
    runnerInstance = new Lenscout;
    QObject::connect(runnerInstance, &Lenscout::dataReceived, runnerInstance, addLenscoutRecord,
                     Qt::DirectConnection);
    ssdpInstance = new SsdpDiscovery;
    QObject::connect(ssdpInstance, &SsdpDiscovery::dataReceived, ssdpInstance, addSsdpRecord,
                     Qt::DirectConnection);
}

void rescanAll()
{
    // The search thread is joined before the prober restarts; a run that has
    // ended, or never began, is joined at once. Nothing of the search that
    // the user discards is shown afterwards: its fetches are dropped, the
    // prober's output ends with it, and the devices it queued are forgotten.
    ssdpInstance->stop();
    runnerInstance->start();
    if (backEndInstance)
        backEndInstance->clearDevices();
    ssdpInstance->start(QThread::InheritPriority);
}

void stopSources()
{
    // The search thread is joined before the prober is touched.
    ssdpInstance->stop();
    delete ssdpInstance;
    ssdpInstance = nullptr;
    runnerInstance->waitForFinished(3000);
    delete runnerInstance;
    runnerInstance = nullptr;
}
