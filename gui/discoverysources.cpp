#include "discoverysources.h"

#include "backend.h"
#include "lenscoutrunner.h"
#include "localnetworks.h"
#include "recordintake.h"
#include "ssdpdiscovery.h"

#include <QTimer>

Lenscout *runnerInstance = nullptr;
SsdpDiscovery *ssdpInstance = nullptr;

namespace {

// Looks while a search runs whether both ways have ended.
QTimer *progressTimer = nullptr;
constexpr int progressCheckMs = 200;

void checkProgress()
{
    if (runnerInstance->isRunning() || ssdpInstance->isSearching())
        return;
    progressTimer->stop();
    if (backEndInstance)
        backEndInstance->endSearch();
}

} // namespace

void createSources()
{
    runnerInstance = new Lenscout;
    QObject::connect(runnerInstance, &Lenscout::dataReceived, runnerInstance, addLenscoutRecord,
                     Qt::DirectConnection);
    ssdpInstance = new SsdpDiscovery;
    QObject::connect(ssdpInstance, &SsdpDiscovery::dataReceived, ssdpInstance, addSsdpRecord,
                     Qt::DirectConnection);
    progressTimer = new QTimer;
    progressTimer->setInterval(progressCheckMs);
    QObject::connect(progressTimer, &QTimer::timeout, progressTimer, checkProgress);
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
    if (backEndInstance)
        backEndInstance->beginSearch(LocalNetworks::current().toText());
    if (progressTimer)
        progressTimer->start();
}

void stopSources()
{
    delete progressTimer;
    progressTimer = nullptr;
    // The search thread is joined before the prober is touched.
    ssdpInstance->stop();
    delete ssdpInstance;
    ssdpInstance = nullptr;
    runnerInstance->waitForFinished(3000);
    delete runnerInstance;
    runnerInstance = nullptr;
}
