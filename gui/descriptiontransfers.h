#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QUrl>

#include <memory>
#include <unordered_map>

class QSocketNotifier;
class QTimer;

// HTTP GETs of device descriptions through libcurl's multi interface, run by
// the event loop of the thread that owns the object: a socket notifier per
// connection and libcurl's one timer, so nothing blocks and no thread is
// added.
//
// A host on the network chooses what is fetched, so every transfer is held
// to bounds: its time, the size of its head and of its body. Only http and
// https are spoken, over HTTP/1.1, one connection per transfer, without a
// proxy, credentials, cookies or compression; redirects are reported, not
// followed. https certificates are not verified: the location came
// unauthenticated by multicast, so a certificate adds no trust to what it
// names, and devices on a LAN use self-signed ones.
class DescriptionTransfers : public QObject
{
    Q_OBJECT

public:
    // Far above any real device's.
    static constexpr qint64 maxBodySize = 1024 * 1024;
    static constexpr qsizetype maxHeadSize = 64 * 1024;

    struct Answer
    {
        bool complete = false; // the whole answer arrived, within the bounds
        int status = 0;
        QByteArray body;
        QUrl redirect; // where a 3xx answer with a Location points, resolved
    };

    explicit DescriptionTransfers(QObject *parent = nullptr);
    ~DescriptionTransfers() override;

    // Starts a GET of url that ends within timeoutMs; returns its id for
    // finished(), 0 when it cannot start.
    quint64 get(const QUrl &url, int timeoutMs);
    // Ends every transfer at once and closes its connection; none finishes.
    void abortAll();

signals:
    // Once per transfer that was not aborted.
    void finished(quint64 transfer, const DescriptionTransfers::Answer &answer);

private:
    struct Transfer;
    struct Callbacks; // libcurl's, which reach the members
    struct SocketWatch
    {
        QSocketNotifier *read = nullptr;
        QSocketNotifier *write = nullptr;
    };

    void watch(qintptr socket, bool read, bool write);
    void checkConnecting();
    void act(qintptr socket, int events);
    void reportFinished();
    void remove(Transfer *transfer);

    void *multi;          // libcurl's CURLM, which is void
    void *requestHeaders; // a curl_slist
    QTimer *timeout;
    QTimer *connecting;
    QHash<qintptr, SocketWatch> sockets;
    std::unordered_map<quint64, std::unique_ptr<Transfer>> transfers;
    quint64 lastId = 0;
};
