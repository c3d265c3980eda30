#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringDecoder>

class ChildProcess;

// Runs the Lenscout prober and emits each non-empty line of its standard
// output, terminator included: one device record per line.
class Lenscout : public QObject
{
    Q_OBJECT

public:
    explicit Lenscout(QObject *parent = nullptr);
    ~Lenscout() override;

    // Starts the tool anew, killing a run that still goes on; nothing more of
    // the last run is emitted. Failure is silent.
    void start();
    bool waitForFinished(int msecs);
    // Whether the tool runs, or has ended with records not yet emitted.
    bool isRunning() const;

signals:
    void dataReceived(const QString &str);

private slots:
    void handleDataReceived(const QByteArray &data);

private:
    ChildProcess *childProcess;
    // One decoder for the whole output, fed whole lines only: Qt 6.4's UTF-8
    // decoder drops the byte that follows a sequence left incomplete at the
    // end of one call, where the tool's output chunks fall.
    QStringDecoder decoder{QStringDecoder::Utf8};
    // Output of the current run not yet cut into lines, as it came, so that a
    // character or a line split between two chunks is joined.
    QByteArray lineBuffer;
};
