// Lets a test watch the real program from outside. Compiled into a test
// build of Finderly beside the program's own main, or loaded into the
// installed Windows program as a Qt plugin (observerplugin.cpp). It writes
// one JSON object per line to standard output, "t" being the wall clock in ms:
//   {"t","event":"window"}   the window's first frame
//   {"t","row":[name, url]}  a row added to the device table
//   {"t","event":"cleared"}  the table emptied by Rescan
//   {"t","message":text}     one of Qt's messages (a Windows program without
//                            a console would send them to the debugger)
// and takes commands, one per line, on standard input:
//   close    closes the window, as its close button does
//   rescan   clicks the Rescan button

#include "windowitems.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMouseEvent>
#include <QTimer>

#include <cstdio>
#include <thread>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

void report(QJsonObject line)
{
    line.insert(QLatin1String("t"), QDateTime::currentMSecsSinceEpoch());
    std::fputs(QJsonDocument(line).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void reportEvent(const char *event)
{
    report({{QLatin1String("event"), QLatin1String(event)}});
}

void reportMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    report({{QLatin1String("message"), qFormatLogMessage(type, context, message)}});
}

void watchTable(QAbstractItemModel *model)
{
    QObject::connect(model, &QAbstractItemModel::rowsInserted, model,
                     [model](const QModelIndex &, int first, int last) {
                         for (int i = first; i <= last; ++i) {
                             report({{QLatin1String("row"),
                                      QJsonArray::fromStringList(WindowItems::row(model, i))}});
                         }
                     });
    QObject::connect(model, &QAbstractItemModel::modelReset, model, [] { reportEvent("cleared"); });
}

// A press and a release in the middle of item, delivered as the window
// system delivers them.
void click(QQuickWindow *window, QQuickItem *item)
{
    const QPointF scene = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    const QPointF global = window->mapToGlobal(scene);
    QMouseEvent press(QEvent::MouseButtonPress, scene, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(window, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, scene, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(window, &release);
}

void handleCommand(const QByteArray &command)
{
    QQuickWindow *window = WindowItems::mainWindow();
    if (!window)
        return;
    if (command == "close") {
        window->close();
    } else if (command == "rescan") {
        if (QQuickItem *button = WindowItems::rescanButton(window))
            click(window, button);
    }
}

// A thread of its own: on Windows the event loop cannot watch a pipe. It
// ends with the input, or with the process. It reads the descriptor, not
// stdio's stream: a thread blocked in fgets() holds the stream's lock, which
// exit() takes too with the C library of Debian 13.
// Reads the standard input's next bytes; 0 at its end, -1 on an error.
int readInput(char *buffer, unsigned size)
{
#ifdef Q_OS_WIN
    return _read(0, buffer, size);
#else
    return int(read(0, buffer, size));
#endif
}

void readCommands()
{
    std::thread([] {
        QByteArray pending;
        char buffer[256];
        int count;
        while ((count = readInput(buffer, sizeof buffer)) > 0) {
            pending.append(buffer, count);
            for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
                const QByteArray command = pending.left(end).trimmed();
                QMetaObject::invokeMethod(
                    qApp, [command] { handleCommand(command); }, Qt::QueuedConnection);
            }
        }
    }).detach();
}

// The window exists once main has loaded it; until then, look again.
void startObserver()
{
    qInstallMessageHandler(reportMessage);
    auto *search = new QTimer(qApp);
    QObject::connect(search, &QTimer::timeout, search, [search] {
        QQuickWindow *window = WindowItems::mainWindow();
        QAbstractItemModel *model = WindowItems::tableModel(window);
        if (!model)
            return;
        search->deleteLater();
        if (window->isExposed()) {
            reportEvent("window");
        } else {
            QObject::connect(
                window, &QQuickWindow::frameSwapped, window, [] { reportEvent("window"); },
                Qt::SingleShotConnection);
        }
        watchTable(model);
    });
    search->start(5);
    readCommands();
}

} // namespace

// Runs as soon as the application object exists: at its construction in the
// test build, at once when the plugin is loaded into a running program.
Q_COREAPP_STARTUP_FUNCTION(startObserver)
