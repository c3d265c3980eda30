#include "lenscoutrunner.h"

#include "childprocess.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSignalBlocker>

namespace {

QString toolPath()
{
    QString path = QCoreApplication::applicationDirPath() + QLatin1String("/Lenscout/Lenscout");
#ifdef Q_OS_WIN
    path += QLatin1String(".exe");
#endif
    return path;
}

// Length of the first line of text including its terminator, or 0 when no
// line is complete. "\r\n" anywhere in text takes precedence over "\n".
qsizetype firstLineLength(const QByteArray &text)
{
    qsizetype end = text.indexOf("\r\n");
    if (end >= 0)
        return end + 2;
    end = text.indexOf('\n');
    return end >= 0 ? end + 1 : 0;
}

} // namespace

Lenscout::Lenscout(QObject *parent) : QObject(parent), childProcess(new ChildProcess)
{
    connect(childProcess, &ChildProcess::dataReceived, this, &Lenscout::handleDataReceived);
}

Lenscout::~Lenscout()
{
    delete childProcess;
}

void Lenscout::start()
{
    // The last run belongs to the search being replaced: what it has still
    // to say is dropped with it, an unfinished line too, which would
    // otherwise begin the new run's first record.
    {
        const QSignalBlocker quiet(childProcess);
        childProcess->stop();
    }
    lineBuffer.clear();
    const QStringList arguments;
    if (!childProcess->start(toolPath(), arguments))
        childProcess->start(QStringLiteral("C:/deploymsvc/Lenscout/Lenscout.exe"), arguments);
}

bool Lenscout::waitForFinished(int msecs)
{
    return childProcess->waitForFinished(msecs);
}

bool Lenscout::isRunning() const
{
    return childProcess->isRunning();
}

void Lenscout::handleDataReceived(const QByteArray &data)
{
    lineBuffer += data;
    while (const qsizetype length = firstLineLength(lineBuffer)) {
        const QString line = decoder.decode(lineBuffer.left(length));
        lineBuffer.remove(0, length);
        if (line == QLatin1String("\r\n") || line == QLatin1String("\n"))
            continue;
        qDebug().noquote() << line;
        emit dataReceived(line);
    }
}
