#include "descriptionfetcher.h"

#include "ssdplocations.h"

#include <QDeadlineTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

constexpr int fetchIntervalMs = 100;

// A host on the network chooses what is fetched, so it is held to bounds:
// no description is larger than this, and none takes longer.
constexpr qint64 maxDescriptionSize = 1024 * 1024;
constexpr int fetchTimeoutMs = 10000;
constexpr int maxFetchesPerTick = 100;

const QString unknownName = QStringLiteral("Unknown");
const char startedProperty[] = "finderlyStarted";

} // namespace

DescriptionFetcher::DescriptionFetcher(SsdpLocations &source, QObject *parent)
    : QObject(parent), locations(source), fetchTimer(new QTimer(this)),
      networkManager(new QNetworkAccessManager(this))
{
    connect(networkManager, &QNetworkAccessManager::finished, this,
            &DescriptionFetcher::slotXmlReceived);
    connect(fetchTimer, &QTimer::timeout, this, &DescriptionFetcher::slotTimer);
    fetchTimer->start(fetchIntervalMs);
}

DescriptionFetcher::~DescriptionFetcher()
{
    fetchTimer->stop();
    delete fetchTimer;
    delete networkManager;
}

void DescriptionFetcher::slotTimer()
{
    // One sweep per tick over the fetches in flight: a timer of its own per
    // fetch would make thousands of announced locations stall the event loop.
    const qint64 now = QDeadlineTimer::current().deadline();
    const auto replies = networkManager->findChildren<QNetworkReply *>(Qt::FindDirectChildrenOnly);
    for (QNetworkReply *reply : replies) {
        const QVariant started = reply->property(startedProperty);
        if (reply->isRunning() && started.isValid() && now - started.toLongLong() >= fetchTimeoutMs)
            reply->abort();
    }

    // A network that announces thousands of locations at once must not hold
    // the event loop for long: the rest waits for the next ticks.
    QString location;
    for (int started = 0; started < maxFetchesPerTick && locations.takeFirst(location); ++started)
        fetch(QUrl(location, QUrl::TolerantMode));
}

void DescriptionFetcher::fetch(const QUrl &url)
{
    // Any other scheme could make us read local files (file:///dev/zero
    // would never end), so it is reported as failed without any access.
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")) {
        emit dataReceived(record(unknownName, url));
        return;
    }
    QNetworkReply *reply = networkManager->get(QNetworkRequest(url));
    reply->setProperty(startedProperty, QDeadlineTimer::current().deadline());
    // Without a bound the network thread reads a fast endless body into
    // memory far quicker than the abort below can reach it. The bound lies
    // well above the limit, so that a body over it is seen and not stalled.
    reply->setReadBufferSize(2 * maxDescriptionSize);
    // Stops reading a body as soon as it is too large to be a description.
    connect(reply, &QNetworkReply::readyRead, reply, [reply] {
        if (reply->bytesAvailable() > maxDescriptionSize)
            reply->abort();
    });
}

void DescriptionFetcher::slotXmlReceived(QNetworkReply *reply)
{
    // An aborted fetch ends with an error too. The size is checked again, as
    // the last piece of a body may come with the end of the fetch.
    QString name = unknownName;
    if (reply->error() == QNetworkReply::NoError) {
        const QByteArray body = reply->readAll();
        if (body.size() <= maxDescriptionSize)
            name = friendlyName(QString::fromUtf8(body));
    }
    emit dataReceived(record(name, reply->url()));
    reply->deleteLater();
}

QString DescriptionFetcher::friendlyName(const QString &description)
{
    // Taken verbatim: devices write the name as they like, and the window shows it so.
    const QLatin1String open("<friendlyName>");
    const qsizetype p = description.indexOf(open);
    const qsizetype q = description.indexOf(QLatin1String("</friendlyName>"));
    if (p < 0 || q <= p)
        return unknownName;
    return description.mid(p + open.size(), q - p - open.size());
}

QString DescriptionFetcher::record(const QString &name, const QUrl &url)
{
    return QLatin1Char('[') + name + QLatin1String("] <") + url.toString() + QLatin1String(">\r\n");
}
