#include "discoverysources.h"

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
    // ended, or never began, is joined at once.
    ssdpInstance->requestInterruption();
    ssdpInstance->wait();
    runnerInstance->start();
    ssdpInstance->start(QThread::InheritPriority);
}

void stopSources()
{
    // The search thread is joined before the prober is touched.
    ssdpInstance->requestInterruption();
    ssdpInstance->wait();
    delete ssdpInstance;
    ssdpInstance = nullptr;
    runnerInstance->waitForFinished(3000);
    delete runnerInstance;
    runnerInstance = nullptr;
}
