#include "descriptionfetcher.h"

#include "descriptiondownload.h"
#include "ssdplocations.h"

#include <QDeadlineTimer>
#include <QTimer>

namespace {

constexpr int fetchIntervalMs = 100;

// A host on the network chooses what is fetched, so it is held to bounds:
// a fetch takes no longer than this (its size is bounded by the download).
constexpr int fetchTimeoutMs = 10000;
// A network that announces thousands of locations at once must not hold
// the event loop for long: the rest waits for the next ticks.
constexpr int maxFetchesPerTick = 100;
// As many connections as a browser opens to one host; all hosts together
// hold a bounded number of sockets and description buffers.
constexpr int maxFetchesPerHost = 6;
constexpr int maxFetches = 64;

const QString unknownName = QStringLiteral("Unknown");

} // namespace

DescriptionFetcher::DescriptionFetcher(SsdpLocations &source, QObject *parent)
    : QObject(parent), source(source), fetchTimer(new QTimer(this))
{
    connect(fetchTimer, &QTimer::timeout, this, &DescriptionFetcher::slotTimer);
    fetchTimer->start(fetchIntervalMs);
}

DescriptionFetcher::~DescriptionFetcher()
{
    fetchTimer->stop();
    delete fetchTimer;
    // The downloads still running are children: deleted, they close their
    // connections at once.
}

bool DescriptionFetcher::isIdle() const
{
    return running.isEmpty() && waiting.isEmpty() && !source.hasPending();
}

void DescriptionFetcher::slotTimer()
{
    // One sweep per tick over the fetches in flight: a timer of its own per
    // fetch would make thousands of announced locations stall the event loop.
    const qint64 now = QDeadlineTimer::current().deadline();
    const QList<DescriptionDownload *> downloads = running.keys();
    for (DescriptionDownload *download : downloads) {
        if (now - running.value(download).startedMs >= fetchTimeoutMs)
            download->abort();
    }

    int budget = maxFetchesPerTick;
    QString location;
    while (budget > 0 && waiting.size() < SsdpLocations::maxLocations &&
           source.takeFirst(location)) {
        const QUrl url(location, QUrl::TolerantMode);
        // Any other scheme is reported as failed without any access.
        if (!DescriptionDownload::canFetch(url)) {
            emit dataReceived(record(unknownName, url));
            --budget;
        } else {
            waiting.append({url, url.scheme() + QLatin1String("://") + url.authority()});
        }
    }

    // The oldest first, as far as their hosts' shares allow.
    QList<Waiting> later;
    for (const Waiting &fetch : std::as_const(waiting)) {
        if (budget > 0 && running.size() < maxFetches &&
            runningPerHost.value(fetch.host) < maxFetchesPerHost) {
            start(fetch, now);
            --budget;
        } else {
            later.append(fetch);
        }
    }
    waiting = later;
}

void DescriptionFetcher::start(const Waiting &fetch, qint64 now)
{
    auto *download = new DescriptionDownload(fetch.url, this);
    running.insert(download, {fetch.host, now});
    ++runningPerHost[fetch.host];
    connect(download, &DescriptionDownload::finished, this,
            [this, download] { slotXmlReceived(download); });
    download->start();
}

void DescriptionFetcher::slotXmlReceived(DescriptionDownload *download)
{
    const QString host = running.take(download).host;
    if (--runningPerHost[host] <= 0)
        runningPerHost.remove(host);
    const QString name =
        download->succeeded() ? friendlyName(QString::fromUtf8(download->body())) : unknownName;
    emit dataReceived(record(name, download->url()));
    download->deleteLater();
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
