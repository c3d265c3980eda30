// Compiled only into a test build of Finderly, beside the program's own
// main: lets a test watch the real program from outside. It writes one JSON
// object per line to standard output, "t" being the wall clock in ms:
//   {"t","event":"window"}   the window's first frame
//   {"t","row":[name, url]}  a row added to the device table
//   {"t","event":"cleared"}  the table emptied by Rescan
// and closes the window, as its close button does, when a line "close"
// arrives on standard input.

#include "windowitems.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>

#include <unistd.h>

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

void closeOnRequest()
{
    auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, qApp);
    QObject::connect(input, &QSocketNotifier::activated, input, [input] {
        char buffer[256];
        const ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            input->setEnabled(false);
            return;
        }
        if (QByteArray(buffer, int(count)).contains("close")) {
            if (QQuickWindow *window = WindowItems::mainWindow())
                window->close();
        }
    });
}

// The window exists once main has loaded it; until then, look again.
void startObserver()
{
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
    closeOnRequest();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startObserver)
