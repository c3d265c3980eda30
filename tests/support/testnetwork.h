#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

// A virtual LAN of network namespaces made by scripts/testnet for one test:
// the host "h" (192.0.2.1 and 198.51.100.1) and the segments "a"
// (192.0.2.10, extra addresses from 192.0.2.11) and "b" (198.51.100.10, extra
// from 198.51.100.11). Every process started through it is killed and the
// namespaces are removed when the object is destroyed.
class TestNetwork
{
public:
    enum class Shape { Lan, Bare };

    TestNetwork() = default;
    ~TestNetwork();
    TestNetwork(const TestNetwork &) = delete;
    TestNetwork &operator=(const TestNetwork &) = delete;

    // Creates the namespaces; a Bare network is the host alone with loopback only.
    bool up(Shape shape = Shape::Lan, int extraAddressesPerSegment = 0);
    void down();

    QString name() const { return networkName; }
    QString nameSpace(char side) const;

    // The command line that runs program with arguments inside side's namespace.
    QStringList command(char side, const QString &program, const QStringList &arguments = {}) const;

    // Starts program in side's namespace and, with waitForReady, waits until it
    // has printed a line "ready". Returns nullptr on failure. Owned by the network.
    QProcess *start(char side, const QString &program, const QStringList &arguments,
                    bool waitForReady = false, int timeoutMs = 10000);
    // Starts one of the simulators of tests/sim in side's namespace and waits for "ready".
    QProcess *startSimulator(char side, const QString &script, const QStringList &arguments);

    // Runs program in side's namespace to its end; returns its exit code, or -1.
    int run(char side, const QString &program, const QStringList &arguments, int timeoutMs,
            QByteArray *standardOutput = nullptr);

    // Stops a process started here (SIGTERM, then SIGKILL after a grace period).
    void stop(QProcess *process);

    static bool available(); // root and iproute2 present

private:
    QString networkName;
    QList<QProcess *> processes;
};
