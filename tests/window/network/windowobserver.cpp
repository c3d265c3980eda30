// Lets a test watch the real program from outside. Compiled into a test
// build of Finderly beside the program's own main, or loaded into the
// installed Windows program as a Qt plugin (observerplugin.cpp). It writes
// one JSON object per line to standard output, "t" being the wall clock in ms:
//   {"t","event":"window","heads":[...]}  the window's first frame, and the
//                            texts of the table's column heads
//   {"t","row":[name, url]}  a row added to the device table
//   {"t","event":"cleared"}  the table emptied by Rescan
//   {"t","status":text}      the status line, whenever it changes
//   {"t","message":text}     one of Qt's messages (a Windows program without
//                            a console would send them to the debugger)
//   {"t","opened":url}       a web page the window asked the desktop to open,
//                            which it does not open
//   {"t","focus":{"role","name"},"current":[name, url]}  where the keyboard
//                            is, as a screen reader sees it, after a key; and
//                            the table's current row
//   {"t","clipboard":text}   the clipboard's text, on request
//   {"t","sorted"|"filtered":ms}  how long the window took to sort or filter
//                            its rows and draw them
// and takes commands, one per line, on standard input:
//   close    closes the window, as its close button does
//   rescan   clicks the Rescan button
//   key K    presses and releases the keys K ("Tab", "Ctrl+C", "Return")
//   clipboard  reports the clipboard
//   sort N   clicks the head of column N
//   filter T types T into the filter, replacing what it holds (none: empties it)

#include "windowitems.h"

#include <QAccessible>
#include <QClipboard>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>

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

void reportEvent(const char *event, QJsonObject details = {})
{
    details.insert(QLatin1String("event"), QLatin1String(event));
    report(details);
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

// Key presses as the window system delivers them.
void pressKeys(QQuickWindow *window, const QString &keys)
{
    const QKeyCombination combination = QKeySequence(keys)[0];
    const QKeyEvent press(QEvent::KeyPress, combination.key(), combination.keyboardModifiers());
    QCoreApplication::sendEvent(window, const_cast<QKeyEvent *>(&press));
    const QKeyEvent release(QEvent::KeyRelease, combination.key(), combination.keyboardModifiers());
    QCoreApplication::sendEvent(window, const_cast<QKeyEvent *>(&release));
}

void reportFocus(QQuickWindow *window)
{
    QJsonObject focus;
    if (QAccessibleInterface *item =
            QAccessible::queryAccessibleInterface(window->activeFocusItem())) {
        focus = {{QLatin1String("role"), int(item->role())},
                 {QLatin1String("name"), item->text(QAccessible::Name)}};
    }
    const QQuickItem *table = WindowItems::tableView(window);
    const int current = table ? table->property("currentDeviceRow").toInt() : -1;
    QJsonArray row;
    if (current >= 0)
        row =
            QJsonArray::fromStringList(WindowItems::row(WindowItems::tableModel(window), current));
    report({{QLatin1String("focus"), focus}, {QLatin1String("current"), row}});
}

// Reports, under name, the time from now to the next frame drawn.
void reportNextFrame(QQuickWindow *window, const char *name)
{
    auto *clock = new QElapsedTimer;
    clock->start();
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [clock, name] {
            report({{QLatin1String(name), clock->elapsed()}});
            delete clock;
        },
        Qt::SingleShotConnection);
    window->update();
}

void handleCommand(const QByteArray &command)
{
    QQuickWindow *window = WindowItems::mainWindow();
    if (!window)
        return;
    const qsizetype space = command.indexOf(' ');
    const QString argument = space < 0 ? QString() : QString::fromUtf8(command.mid(space + 1));
    if (command == "close") {
        window->close();
    } else if (command == "rescan") {
        if (QQuickItem *button = WindowItems::rescanButton(window))
            click(window, button);
    } else if (command.startsWith("key ")) {
        pressKeys(window, argument);
        reportFocus(window);
    } else if (command == "clipboard") {
        report({{QLatin1String("clipboard"), QGuiApplication::clipboard()->text()}});
    } else if (command.startsWith("sort ")) {
        if (QQuickItem *head = WindowItems::columnHead(window, argument.toInt())) {
            reportNextFrame(window, "sorted");
            click(window, head);
        }
    } else if (command == "filter" || command.startsWith("filter ")) {
        if (QQuickItem *filter = WindowItems::filterField(window)) {
            reportNextFrame(window, "filtered");
            filter->setProperty("text", argument);
        }
    }
}

// Stands in for the desktop's web browser.
class UrlReporter : public QObject
{
    Q_OBJECT

public slots:
    void open(const QUrl &url) { report({{QLatin1String("opened"), url.toString()}}); }
};

void watchStatus(QQuickWindow *window)
{
    auto *poll = new QTimer(window);
    QObject::connect(poll, &QTimer::timeout, window, [window, shown = QString()]() mutable {
        const QQuickItem *line = WindowItems::statusLine(window);
        const QString text = line ? line->property("text").toString() : QString();
        if (text != shown)
            report({{QLatin1String("status"), shown = text}});
    });
    poll->start(20);
}

QJsonArray headTexts(QQuickWindow *window)
{
    QJsonArray heads;
    for (int column = 0; column < 2; ++column) {
        if (QQuickItem *head = WindowItems::columnHead(window, column))
            heads.append(WindowItems::find(head, "QQuickLabel")->property("text").toString());
    }
    return heads;
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
    auto *urls = new UrlReporter;
    urls->setParent(qApp);
    for (const QString &scheme : {QStringLiteral("http"), QStringLiteral("https")})
        QDesktopServices::setUrlHandler(scheme, urls, "open");
    auto *search = new QTimer(qApp);
    QObject::connect(search, &QTimer::timeout, search, [search] {
        QQuickWindow *window = WindowItems::mainWindow();
        QAbstractItemModel *model = WindowItems::tableModel(window);
        if (!model)
            return;
        search->deleteLater();
        // A frame drawn now or later, with the heads laid out.
        QObject::connect(
            window, &QQuickWindow::frameSwapped, window,
            [window] {
                reportEvent("window", {{QLatin1String("heads"), headTexts(window)}});
            },
            Qt::SingleShotConnection);
        window->update();
        watchTable(model);
        watchStatus(window);
    });
    search->start(5);
    readCommands();
}

} // namespace

// Runs as soon as the application object exists: at its construction in the
// test build, at once when the plugin is loaded into a running program.
Q_COREAPP_STARTUP_FUNCTION(startObserver)

#include "windowobserver.moc"
