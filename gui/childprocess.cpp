#include "childprocess.h"

#include <QProcess>

ChildProcess::ChildProcess(QObject *parent) : QObject(parent) {}

ChildProcess::~ChildProcess()
{
    stop();
}

bool ChildProcess::start(const QString &program, const QStringList &arguments)
{
    stop();
    process = new QProcess;
    connect(process, SIGNAL(readyReadStandardOutput()), this, SLOT(handleStandardOutput()));
    // The default separate channels: standard error is never read, and the
    // child's standard input stays open without anything written to it.
    process->start(program, arguments, QIODevice::ReadWrite);
    return process->waitForStarted(30000);
}

void ChildProcess::stop()
{
    if (!process)
        return;
    // A child that has ended may still deliver the output waiting in the pipe.
    process->waitForFinished(0);
    if (process->state() != QProcess::NotRunning) {
        // Output of a killed run is dropped, and the child is reaped before
        // its QProcess goes, so that it is gone when the next one starts.
        process->disconnect(this);
        process->kill();
        process->waitForFinished();
    }
    delete process;
    process = nullptr;
}

bool ChildProcess::waitForFinished(int msecs)
{
    if (!process)
        return true;
    process->waitForFinished(msecs);
    if (process->state() != QProcess::NotRunning)
        return false;
    delete process;
    process = nullptr;
    return true;
}

bool ChildProcess::isRunning() const
{
    // QProcess reads what is left in the pipe before it leaves the running state.
    return process && process->state() != QProcess::NotRunning;
}

void ChildProcess::handleStandardOutput()
{
    emit dataReceived(process->readAllStandardOutput());
}
