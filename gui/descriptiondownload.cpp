#include "descriptiondownload.h"

#include <QTcpSocket>
#if QT_CONFIG(ssl)
#include <QSslSocket>
#endif

namespace {

// What the socket reads ahead of us: a fast server fills no more than this.
constexpr qint64 socketBufferSize = 64 * 1024;
constexpr qsizetype maxChunkLine = 1024;

} // namespace

bool DescriptionDownload::canFetch(const QUrl &url)
{
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

DescriptionDownload::DescriptionDownload(const QUrl &url, QObject *parent)
    : QObject(parent), requested(url)
{
}

DescriptionDownload::~DescriptionDownload()
{
    if (socket)
        socket->disconnect(this);
}

void DescriptionDownload::start()
{
    connectTo(requested);
}

void DescriptionDownload::abort()
{
    finish(false);
}

void DescriptionDownload::connectTo(const QUrl &target)
{
    if (socket) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    current = target;
    received.clear();
    headRead = false;
    chunked = false;
    contentLength = -1;
    chunkLeft = 0;
    chunkEndDue = false;
    content.clear();

    const bool secure = target.scheme() == QLatin1String("https");
#if QT_CONFIG(ssl)
    QSslSocket *secureSocket = secure ? new QSslSocket(this) : nullptr;
    socket = secure ? secureSocket : new QTcpSocket(this);
    if (secure)
        connect(secureSocket, &QSslSocket::encrypted, this, &DescriptionDownload::sendRequest);
#else
    if (secure) {
        finish(false);
        return;
    }
    socket = new QTcpSocket(this);
#endif
    if (!secure)
        connect(socket, &QTcpSocket::connected, this, &DescriptionDownload::sendRequest);
    socket->setReadBufferSize(socketBufferSize);
    connect(socket, &QTcpSocket::readyRead, this, &DescriptionDownload::readResponse);
    connect(socket, &QTcpSocket::disconnected, this, &DescriptionDownload::connectionClosed);
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            connectionClosed();
        else
            finish(false);
    });
#if QT_CONFIG(ssl)
    if (secure) {
        secureSocket->connectToHostEncrypted(target.host(), quint16(target.port(443)));
        return;
    }
#endif
    socket->connectToHost(target.host(), quint16(target.port(80)));
}

void DescriptionDownload::sendRequest()
{
    QByteArray path =
        current.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (!path.startsWith('/'))
        path.prepend('/');
    QByteArray host = current.host(QUrl::FullyEncoded).toUtf8();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (current.port() != -1)
        host += ':' + QByteArray::number(current.port());
    socket->write("GET " + path + " HTTP/1.1\r\nHost: " + host +
                  "\r\nAccept: */*\r\nConnection: close\r\n\r\n");
}

void DescriptionDownload::readResponse()
{
    if (done)
        return;
    received += socket->readAll();
    if (!headRead && !readHead())
        return;
    if (chunked) {
        readChunks();
        return;
    }
    content += received;
    received.clear();
    if (content.size() > maxBodySize)
        finish(false);
    else if (contentLength >= 0 && content.size() >= contentLength)
        finish(true);
}

bool DescriptionDownload::readHead()
{
    // The head ends with an empty line; servers that end their lines in a
    // lone LF are read too.
    qsizetype end = received.indexOf("\r\n\r\n");
    qsizetype separator = 4;
    const qsizetype lf = received.indexOf("\n\n");
    if (lf >= 0 && (end < 0 || lf < end)) {
        end = lf;
        separator = 2;
    }
    if (end < 0 || end > maxHeaderSize) {
        if (received.size() > maxHeaderSize)
            finish(false);
        return false;
    }
    const QList<QByteArray> lines = received.left(end).split('\n');
    received.remove(0, end + separator);
    headRead = true;

    // "HTTP/1.1 200 OK"
    const QList<QByteArray> status = lines.first().trimmed().split(' ');
    const int code = status.size() >= 2 && status[0].startsWith("HTTP/") ? status[1].toInt() : 0;
    QByteArray location;
    QByteArray length;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        const QByteArray name = lines[i].left(qMax<qsizetype>(colon, 0)).trimmed().toLower();
        const QByteArray value = lines[i].mid(colon + 1).trimmed();
        if (name == "location")
            location = value;
        else if (name == "content-length")
            length = value;
        else if (name == "transfer-encoding")
            chunked = value.toLower().contains("chunked");
    }

    if (code >= 300 && code < 400 && !location.isEmpty()) {
        const QUrl target = current.resolved(QUrl(QString::fromUtf8(location), QUrl::TolerantMode));
        const bool lessSafe =
            current.scheme() == QLatin1String("https") && target.scheme() == QLatin1String("http");
        if (++redirects > maxRedirects || !canFetch(target) || lessSafe)
            finish(false);
        else
            connectTo(target);
        return false;
    }
    if (code < 200 || code >= 300) {
        finish(false);
        return false;
    }
    if (!chunked && !length.isEmpty()) {
        bool valid = false;
        contentLength = length.toLongLong(&valid);
        if (!valid || contentLength < 0 || contentLength > maxBodySize) {
            finish(false);
            return false;
        }
    }
    return true;
}

void DescriptionDownload::readChunks()
{
    for (;;) {
        if (chunkLeft > 0) {
            const qsizetype n = qsizetype(qMin<qint64>(chunkLeft, received.size()));
            content += received.left(n);
            received.remove(0, n);
            chunkLeft -= n;
            if (content.size() > maxBodySize) {
                finish(false);
                return;
            }
            if (chunkLeft > 0)
                return;
            chunkEndDue = true;
        }
        const qsizetype eol = received.indexOf('\n');
        if (eol < 0) {
            if (received.size() > maxChunkLine)
                finish(false);
            return;
        }
        const QByteArray line = received.left(eol).trimmed();
        received.remove(0, eol + 1);
        if (chunkEndDue) {
            chunkEndDue = false;
            if (line.isEmpty())
                continue;
            finish(false);
            return;
        }
        // "SIZE[;extension]"
        const qsizetype semicolon = line.indexOf(';');
        bool valid = false;
        const qint64 size =
            (semicolon < 0 ? line : line.left(semicolon)).trimmed().toLongLong(&valid, 16);
        if (!valid || size < 0 || size > maxBodySize) {
            finish(false);
            return;
        }
        if (size == 0) {
            finish(true);
            return;
        }
        chunkLeft = size;
    }
}

void DescriptionDownload::connectionClosed()
{
    const QTcpSocket *closed = socket;
    if (!done && socket->bytesAvailable() > 0)
        readResponse();
    // Unless that was a redirect, only a body without a length or chunks
    // ends with the connection.
    if (socket == closed)
        finish(headRead && !chunked && contentLength < 0);
}

void DescriptionDownload::finish(bool success)
{
    if (done)
        return;
    done = true;
    ok = success;
    received.clear();
    if (socket) {
        socket->disconnect(this);
        socket->abort();
    }
    emit finished();
}
