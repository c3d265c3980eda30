#include "devicereporter.h"
#include "discovererthread.h"
#include "localaddresslist.h"
#include "platform.h"

#include <QCommandLineParser>
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // When the reader of the records has gone, the tool still ends normally.
    Platform::ignoreBrokenPipe();
    // Windows reads it from the executable's version resource.
    const QString version = Platform::productVersion();
    QCoreApplication::setApplicationVersion(version.isEmpty() ? QStringLiteral(LENSCOUT_VERSION)
                                                              : version);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Morvessa Lenscout"));
    parser.addVersionOption();
    parser.process(app);

    addressList = new LocalAddressList;
    reporter = new DeviceReporter(addressList);

    const int n = addressList->count();
    auto *threads = new DiscovererThread[n];
    for (int i = 0; i < n; ++i) {
        threads[i].address = addressList->address(i);
        threads[i].start(QThread::InheritPriority);
    }
    for (int i = 0; i < n; ++i)
        threads[i].wait(QDeadlineTimer(QDeadlineTimer::Forever));

    delete[] threads;
    delete addressList;
    addressList = nullptr;
    delete reporter;
    reporter = nullptr;
    return 0;
}
