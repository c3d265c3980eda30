#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;

// Owns at most one child process at a time and forwards every chunk of its
// standard output as it arrives. Knows nothing about the program it runs.
class ChildProcess : public QObject
{
    Q_OBJECT

public:
    explicit ChildProcess(QObject *parent = nullptr);
    ~ChildProcess() override;

    // Replaces any previous child; true if the new one runs within 30 s.
    bool start(const QString &program, const QStringList &arguments);
    // Releases the current child, killing it if it still runs.
    void stop();
    // True if no child is left afterwards.
    bool waitForFinished(int msecs);
    // Whether a child runs, or has ended with output not yet delivered.
    bool isRunning() const;

signals:
    void dataReceived(const QByteArray &data);

private slots:
    void handleStandardOutput();

private:
    QProcess *process = nullptr;
};
