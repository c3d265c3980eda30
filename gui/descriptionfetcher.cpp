#include "descriptionfetcher.h"

#include "ssdplocations.h"

#include <QDeadlineTimer>
#include <QTimer>

#include <algorithm>
#include <iterator>

namespace {

constexpr int fetchIntervalMs = 100;

const QString unknownName = QStringLiteral("Unknown");

qint64 monotonicMs()
{
    return QDeadlineTimer::current().deadline();
}

} // namespace

DescriptionFetcher::DescriptionFetcher(SsdpLocations &source, QObject *parent)
    : QObject(parent), source(source), fetchTimer(new QTimer(this))
{
    connect(fetchTimer, &QTimer::timeout, this, &DescriptionFetcher::fetchQueued);
    connect(&transfers, &DescriptionTransfers::finished, this,
            &DescriptionFetcher::slotXmlReceived);
    fetchTimer->start(fetchIntervalMs);
}

DescriptionFetcher::~DescriptionFetcher()
{
    fetchTimer->stop();
    delete fetchTimer;
    // The transfers still running end with their member, connections and all.
}

bool DescriptionFetcher::canFetch(const QUrl &url)
{
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

void DescriptionFetcher::fetchQueued()
{
    failExpired(monotonicMs());
    QString location;
    while (waitingCount < SsdpLocations::maxLocations && source.takeFirst(location)) {
        const QUrl url(location, QUrl::TolerantMode);
        // Any other scheme is reported as failed without any access.
        if (canFetch(url))
            enqueue({url, url}, false);
        else
            emit dataReceived(record(unknownName, url));
    }
    handOut();
}

bool DescriptionFetcher::isIdle() const
{
    return waitingCount == 0 && running.isEmpty() && !source.hasPending();
}

void DescriptionFetcher::clear()
{
    transfers.abortAll();
    running.clear();
    runningPerHost.clear();
    waiting.clear();
    turns.clear();
    nextTurn = 0;
    waitingCount = 0;
    waitingRedirects = 0;
}

void DescriptionFetcher::enqueue(const Fetch &fetch, bool first)
{
    const QString host = hostOf(fetch);
    QList<Fetch> &queue = waiting[host];
    if (queue.isEmpty())
        turns.append(host);
    // A redirect goes on with a fetch that has begun: ahead of its host's new ones.
    if (first)
        queue.prepend(fetch);
    else
        queue.append(fetch);
    ++waitingCount;
    if (fetch.deadline != 0)
        ++waitingRedirects;
}

void DescriptionFetcher::failExpired(qint64 now)
{
    // Only redirects have begun, and so have a time bound, while they wait.
    if (waitingRedirects == 0)
        return;
    const auto late = [now](const Fetch &fetch) {
        return fetch.deadline != 0 && fetch.deadline <= now;
    };
    QList<Fetch> expired;
    for (qsizetype i = 0; i < turns.size();) {
        QList<Fetch> &queue = waiting[turns.at(i)];
        std::copy_if(queue.cbegin(), queue.cend(), std::back_inserter(expired), late);
        const qsizetype removed = queue.removeIf(late);
        waitingCount -= removed;
        waitingRedirects -= removed;
        if (!queue.isEmpty()) {
            ++i;
            continue;
        }
        waiting.remove(turns.at(i));
        turns.removeAt(i);
        if (nextTurn > i)
            --nextTurn;
    }
    for (const Fetch &fetch : std::as_const(expired))
        fail(fetch);
}

void DescriptionFetcher::handOut()
{
    // Round the hosts that wait, one fetch each turn, until every one left
    // has its share full or all fetches run.
    qsizetype passed = 0; // hosts passed over in a row
    while (running.size() < maxFetches && passed < turns.size()) {
        if (nextTurn >= turns.size())
            nextTurn = 0;
        const QString host = turns.at(nextTurn);
        if (runningPerHost.value(host) >= maxFetchesPerHost) {
            ++passed;
            ++nextTurn;
            continue;
        }
        passed = 0;
        QList<Fetch> &queue = waiting[host];
        const Fetch fetch = queue.takeFirst();
        --waitingCount;
        if (fetch.deadline != 0)
            --waitingRedirects;
        if (queue.isEmpty()) {
            waiting.remove(host);
            turns.removeAt(nextTurn);
        } else {
            ++nextTurn;
        }
        start(fetch);
    }
}

void DescriptionFetcher::start(Fetch fetch)
{
    const qint64 now = monotonicMs();
    if (fetch.deadline == 0)
        fetch.deadline = now + fetchTimeoutMs;
    const qint64 left = fetch.deadline - now;
    const quint64 transfer = left > 0 ? transfers.get(fetch.target, int(left)) : 0;
    if (transfer == 0) {
        fail(fetch);
        return;
    }
    running.insert(transfer, fetch);
    ++runningPerHost[hostOf(fetch)];
}

void DescriptionFetcher::fail(const Fetch &fetch)
{
    emit dataReceived(record(unknownName, fetch.location));
}

void DescriptionFetcher::slotXmlReceived(quint64 transfer,
                                         const DescriptionTransfers::Answer &answer)
{
    const auto found = running.constFind(transfer);
    if (found == running.cend())
        return;
    Fetch fetch = found.value();
    running.erase(found);
    const QString host = hostOf(fetch);
    if (--runningPerHost[host] <= 0)
        runningPerHost.remove(host);

    const bool lessSafe = fetch.target.scheme() == QLatin1String("https") &&
                          answer.redirect.scheme() == QLatin1String("http");
    if (answer.complete && fetch.redirectsLeft > 0 && canFetch(answer.redirect) && !lessSafe) {
        fetch.target = answer.redirect;
        --fetch.redirectsLeft;
        enqueue(fetch, true);
        handOut();
        return;
    }
    handOut();
    const bool described = answer.complete && answer.status >= 200 && answer.status < 300;
    emit dataReceived(record(described ? friendlyName(QString::fromUtf8(answer.body)) : unknownName,
                             fetch.location));
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
