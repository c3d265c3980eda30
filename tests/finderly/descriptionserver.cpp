#include "descriptionserver.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace {

constexpr qsizetype endlessChunk = 64 * 1024;

QByteArray reasonOf(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

} // namespace

DescriptionServer::DescriptionServer(const QHostAddress &address)
{
    listen(address);
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = nextPendingConnection()) {
            ++accepted;
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                ++closed;
                socket->deleteLater();
            });
            auto request = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
                const bool complete = request->contains("\r\n\r\n");
                *request += socket->readAll();
                if (!complete && request->contains("\r\n\r\n"))
                    answer(socket, *request);
            });
        }
    });
}

void DescriptionServer::route(const QString &path, const Response &response)
{
    routes.insert(path, response);
}

QString DescriptionServer::url(const QString &path) const
{
    return QStringLiteral("http://%1:%2%3")
        .arg(serverAddress().toString())
        .arg(serverPort())
        .arg(path);
}

void DescriptionServer::answer(QTcpSocket *socket, const QByteArray &request)
{
    // "GET /path HTTP/1.1"
    const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
    const QString path = requestLine.size() == 3 ? QString::fromLatin1(requestLine[1]) : QString();
    requested << path;
    const Response response = routes.value(path, Response{404, "no such description"});

    if (response.behaviour == Behaviour::Silent)
        return;
    if (response.behaviour == Behaviour::Raw) {
        socket->write(response.body);
        socket->disconnectFromHost();
        return;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                      reasonOf(response.status) + "\r\nContent-Type: text/xml\r\n" +
                      response.headers;
    if (response.behaviour == Behaviour::Endless ||
        response.behaviour == Behaviour::EndlessChunked ||
        response.behaviour == Behaviour::EndlessHeader) {
        QByteArray piece(endlessChunk, 'x');
        if (response.behaviour == Behaviour::EndlessHeader) {
            head += "X-Endless: ";
        } else if (response.behaviour == Behaviour::EndlessChunked) {
            head += "Transfer-Encoding: chunked\r\n\r\n";
            piece = QByteArray::number(endlessChunk, 16) + "\r\n" + piece + "\r\n";
        } else {
            head += "Connection: close\r\n\r\n";
        }
        socket->write(head);
        // Refilled as it drains, so what waits here stays small and never ends.
        const auto refill = [socket, piece] {
            if (socket->bytesToWrite() < endlessChunk)
                socket->write(piece);
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, refill);
        refill();
        // Wine tells a socket that waits to write nothing of a peer that has
        // reset the connection; a write attempt finds out.
        auto *retry = new QTimer(socket);
        connect(retry, &QTimer::timeout, socket, [socket] { socket->flush(); });
        retry->start(100);
        return;
    }
    socket->write(head + "Content-Length: " + QByteArray::number(response.body.size()) +
                  "\r\nConnection: close\r\n\r\n" + response.body);
    socket->disconnectFromHost();
}
