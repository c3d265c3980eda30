#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QTcpServer>

// A small HTTP/1.1 server on loopback that serves device descriptions, and
// misbehaves on request, for the description fetches of SSDP discovery.
class DescriptionServer : public QTcpServer
{
    Q_OBJECT

public:
    enum class Behaviour {
        Answer,         // status line, headers and body, then close
        Raw,            // the body is the whole answer, sent as it stands, then close
        Silent,         // reads the request and never answers
        Endless,        // a 200 answer whose body never ends
        EndlessChunked, // a 200 answer whose chunks never end
        EndlessHeader,  // a 200 answer whose one header line never ends
    };
    struct Response
    {
        int status = 200;
        QByteArray body;
        QByteArray headers; // extra header lines, each ending in CR LF
        Behaviour behaviour = Behaviour::Answer;
    };

    // Listens on address, any loopback address; each of them is a host of its own.
    explicit DescriptionServer(const QHostAddress &address = QHostAddress::LocalHost);

    void route(const QString &path, const Response &response);
    void route(const QString &path, const QByteArray &body) { route(path, Response{200, body}); }
    QString url(const QString &path) const;

    // The paths asked for so far, in order, the connections accepted and
    // those of them that the client has not closed yet.
    QStringList requests() const { return requested; }
    int connections() const { return accepted; }
    int openConnections() const { return accepted - closed; }

private:
    void answer(QTcpSocket *socket, const QByteArray &request);

    QHash<QString, Response> routes;
    QStringList requested;
    int accepted = 0;
    int closed = 0;
};
