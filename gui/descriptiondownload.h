#pragma once

#include <QByteArray>
#include <QObject>
#include <QUrl>

class QTcpSocket;

// One device description fetched with an HTTP/1.1 GET, held to bounds in all
// that the server sends: the header, the body and, through abort(), the
// time. Qt's network access manager reads every fetch in one shared thread
// that a header which never ends keeps busy, so no abort, no other host's
// fetch and not even its own destruction get through; here each fetch has
// its own socket in the caller's thread and gives it back at once.
//
// Redirects to http and https are followed a few times, never from https to
// http. No compressed body is asked for, so none is unpacked.
class DescriptionDownload : public QObject
{
    Q_OBJECT

public:
    // Far above any real device's.
    static constexpr qsizetype maxHeaderSize = 64 * 1024;
    static constexpr qint64 maxBodySize = 1024 * 1024;
    static constexpr int maxRedirects = 5;

    // Whether url is one that a download fetches: http or https. Any other
    // scheme could make us read local files (file:///dev/zero would never end).
    static bool canFetch(const QUrl &url);

    explicit DescriptionDownload(const QUrl &url, QObject *parent = nullptr);
    ~DescriptionDownload() override;

    void start();
    // Ends the fetch as failed and closes its connection, unless it has ended.
    void abort();

    QUrl url() const { return requested; }
    bool succeeded() const { return ok; }
    // The description; empty unless the fetch succeeded.
    QByteArray body() const { return ok ? content : QByteArray(); }

signals:
    void finished();

private:
    void connectTo(const QUrl &target);
    void sendRequest();
    void readResponse();
    bool readHead();
    void readChunks();
    void connectionClosed();
    void finish(bool success);

    const QUrl requested;
    QUrl current;
    int redirects = 0;
    QTcpSocket *socket = nullptr;

    QByteArray received; // not yet taken into the head or the body
    bool headRead = false;
    bool chunked = false;
    qint64 contentLength = -1; // -1: the body ends with the connection
    qint64 chunkLeft = 0;
    bool chunkEndDue = false; // the CR LF after a chunk's data
    QByteArray content;

    bool done = false;
    bool ok = false;
};
