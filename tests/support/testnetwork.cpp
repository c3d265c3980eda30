#include "testnetwork.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QStandardPaths>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace {

int runScript(const QStringList &arguments)
{
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedChannels);
    script.start(QStringLiteral(TESTNET_SCRIPT), arguments);
    if (!script.waitForFinished(60000))
        return -1;
    return script.exitStatus() == QProcess::NormalExit ? script.exitCode() : -1;
}

} // namespace

TestNetwork::~TestNetwork()
{
    down();
}

bool TestNetwork::available()
{
#ifdef Q_OS_WIN
    return false; // network namespaces are Linux's
#else
    return geteuid() == 0 && !QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty();
#endif
}

bool TestNetwork::up(Shape shape, int extraAddressesPerSegment)
{
    down();
    networkName = QStringLiteral("lt%1x%2")
                      .arg(QCoreApplication::applicationPid())
                      .arg(QRandomGenerator::global()->bounded(100000));
    QStringList arguments;
    if (shape == Shape::Bare) {
        arguments << QStringLiteral("bare") << networkName;
    } else {
        arguments << QStringLiteral("up") << networkName;
        if (extraAddressesPerSegment > 0) {
            arguments << QStringLiteral("--extra-a") << QString::number(extraAddressesPerSegment)
                      << QStringLiteral("--extra-b") << QString::number(extraAddressesPerSegment);
        }
    }
    if (runScript(arguments) != 0) {
        down();
        return false;
    }
    return true;
}

void TestNetwork::down()
{
    for (QProcess *process : std::as_const(processes)) {
        stop(process);
        delete process;
    }
    processes.clear();
    if (!networkName.isEmpty()) {
        runScript({QStringLiteral("down"), networkName});
        networkName.clear();
    }
}

QString TestNetwork::nameSpace(char side) const
{
    return networkName + QLatin1Char('-') + QLatin1Char(side);
}

QStringList TestNetwork::command(char side, const QString &program,
                                 const QStringList &arguments) const
{
    return QStringList{QStringLiteral("netns"), QStringLiteral("exec"), nameSpace(side), program} +
           arguments;
}

QProcess *TestNetwork::start(char side, const QString &program, const QStringList &arguments,
                             bool waitForReady, int timeoutMs)
{
    auto *process = new QProcess;
    processes.append(process);
    process->start(QStringLiteral("ip"), command(side, program, arguments));
    if (!process->waitForStarted(timeoutMs))
        return nullptr;
    if (!waitForReady)
        return process;
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray seen;
    while (!deadline.hasExpired()) {
        if (!process->canReadLine() && !process->waitForReadyRead(int(deadline.remainingTime())))
            break;
        while (process->canReadLine()) {
            if (process->readLine().trimmed() == "ready")
                return process;
        }
    }
    qWarning("%s did not become ready: %s", qPrintable(program),
             process->readAllStandardError().constData());
    return nullptr;
}

QProcess *TestNetwork::startSimulator(char side, const QString &script,
                                      const QStringList &arguments)
{
    return start(side, QStringLiteral("python3"),
                 QStringList{QStringLiteral(TEST_SIM_DIR "/") + script} + arguments, true);
}

int TestNetwork::run(char side, const QString &program, const QStringList &arguments, int timeoutMs,
                     QByteArray *standardOutput)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QStringLiteral("ip"), command(side, program, arguments));
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (standardOutput)
        *standardOutput = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void TestNetwork::stop(QProcess *process)
{
    if (process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    if (!process->waitForFinished(3000)) {
        process->kill();
        process->waitForFinished(3000);
    }
}
