#pragma once

#include <QByteArray>
#include <QHash>
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
        Answer,        // status line, headers and body, then close
        Silent,        // reads the request and never answers
        Endless,       // a 200 answer whose body never ends
        EndlessHeader, // a 200 answer whose one header line never ends
    };
    struct Response
    {
        int status = 200;
        QByteArray body;
        QByteArray headers; // extra header lines, each ending in CR LF
        Behaviour behaviour = Behaviour::Answer;
    };

    explicit DescriptionServer(QObject *parent = nullptr);

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
