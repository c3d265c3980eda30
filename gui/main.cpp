#include "backend.h"
#include "discoverysources.h"

#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QUrl>

// Loads the window, wires both discovery ways to its back end and runs the
// event loop. Nothing searches until the window's first timer tick.
int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    const QUrl url(QStringLiteral("qrc:/FinderlyQml/Main.qml"));
    // Queued, so that the exit code is set once the event loop runs.
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &app,
        [](const QUrl &) { QCoreApplication::exit(-1); }, Qt::QueuedConnection);
    engine.load(url);
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":favicon.ico")));

    // The window's BackEnd element has recorded itself once the load succeeded.
    if (backEndInstance)
        QObject::connect(backEndInstance, &BackEnd::btnRescan, backEndInstance, rescanAll,
                         Qt::DirectConnection);
    createSources();
    if (backEndInstance)
        backEndInstance->setAppVersion(QStringLiteral("1.0.0"));

    const int result = app.exec();

    // Both ways are gone before the engine destroys the back end they write to.
    stopSources();
    return result;
}
