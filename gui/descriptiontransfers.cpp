#include "descriptiontransfers.h"

#include <QSocketNotifier>
#include <QTimer>

#include <curl/curl.h>

#include <algorithm>
#include <climits>

namespace {

// How often libcurl looks at the sockets it waits to write to; see checkConnecting().
constexpr int connectCheckMs = 100;

// Once per process, before the first transfer. It is never undone: libcurl
// keeps nothing that outlives the process.
void setUpLibcurl()
{
    static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
    Q_UNUSED(result);
}

// Whether one header line keeps the end of the body unambiguous, where
// libcurl is lenient: it takes the last of several Content-Length fields,
// reads a sign in one, and unpacks transfer codings other than chunked,
// which were never asked for. contentLength holds the answer's first one.
bool keepsFraming(const QByteArray &line, QByteArray &contentLength)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return true;
    const QByteArray name = line.left(colon).toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "content-length") {
        const bool digits = !value.isEmpty() && std::all_of(value.begin(), value.end(), [](char c) {
            return c >= '0' && c <= '9';
        });
        if (!digits || (!contentLength.isEmpty() && value != contentLength))
            return false;
        contentLength = value;
    } else if (name == "transfer-encoding") {
        const QList<QByteArray> codings = value.split(',');
        return std::all_of(codings.begin(), codings.end(), [](const QByteArray &coding) {
            const QByteArray trimmed = coding.trimmed().toLower();
            return trimmed.isEmpty() || trimmed == "chunked";
        });
    }
    return true;
}

} // namespace

struct DescriptionTransfers::Transfer
{
    quint64 id;
    CURL *easy;
    QByteArray body;
    qsizetype headSize = 0;
    QByteArray contentLength;
};

struct DescriptionTransfers::Callbacks
{
    static int socket(CURL *, curl_socket_t socket, int what, void *owner, void *)
    {
        auto *transfers = static_cast<DescriptionTransfers *>(owner);
        transfers->watch(qintptr(socket), what == CURL_POLL_IN || what == CURL_POLL_INOUT,
                         what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
        return 0;
    }

    static int timer(CURLM *, long timeoutMs, void *owner)
    {
        QTimer *timeout = static_cast<DescriptionTransfers *>(owner)->timeout;
        if (timeoutMs < 0)
            timeout->stop();
        else
            timeout->start(int(std::min<long>(timeoutMs, INT_MAX)));
        return 0;
    }

    // A return value short of what was handed over ends the transfer as failed.
    static size_t body(char *data, size_t size, size_t count, void *reading)
    {
        auto *transfer = static_cast<Transfer *>(reading);
        const size_t length = size * count;
        if (qint64(transfer->body.size()) + qint64(length) > maxBodySize)
            return 0;
        transfer->body.append(data, qsizetype(length));
        return length;
    }

    // Called with each whole line of the head; libcurl itself refuses a
    // single line of more than 100 KiB.
    static size_t header(char *data, size_t size, size_t count, void *reading)
    {
        auto *transfer = static_cast<Transfer *>(reading);
        const size_t length = size * count;
        transfer->headSize += qsizetype(length);
        if (transfer->headSize > maxHeadSize)
            return 0;
        const QByteArray line = QByteArray::fromRawData(data, qsizetype(length));
        // An interim 1xx answer comes with a head of its own.
        if (line.startsWith("HTTP/")) {
            transfer->contentLength.clear();
            return length;
        }
        return keepsFraming(line, transfer->contentLength) ? length : 0;
    }
};

DescriptionTransfers::DescriptionTransfers(QObject *parent)
    : QObject(parent), timeout(new QTimer(this)), connecting(new QTimer(this))
{
    setUpLibcurl();
    multi = curl_multi_init();
    Q_CHECK_PTR(multi);
    // One connection per transfer, and the server is told so: a device that
    // sends neither a length nor chunks ends its body by closing.
    requestHeaders = curl_slist_append(nullptr, "Connection: close");
    Q_CHECK_PTR(requestHeaders);
    curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, &Callbacks::socket);
    curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, &Callbacks::timer);
    curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
    timeout->setSingleShot(true);
    timeout->setTimerType(Qt::PreciseTimer);
    connect(timeout, &QTimer::timeout, this, [this] { act(qintptr(CURL_SOCKET_TIMEOUT), 0); });
    connecting->setInterval(connectCheckMs);
    connect(connecting, &QTimer::timeout, this, &DescriptionTransfers::checkConnecting);
}

DescriptionTransfers::~DescriptionTransfers()
{
    abortAll();
    curl_multi_cleanup(multi);
    curl_slist_free_all(static_cast<curl_slist *>(requestHeaders));
}

quint64 DescriptionTransfers::get(const QUrl &url, int timeoutMs)
{
    CURL *easy = curl_easy_init();
    if (!easy)
        return 0;
    auto transfer = std::make_unique<Transfer>(Transfer{++lastId, easy});
    // No user name or password ever goes out, and the fragment stays here.
    const QByteArray target = url.toEncoded(QUrl::RemoveUserInfo | QUrl::RemoveFragment);
    curl_easy_setopt(easy, CURLOPT_URL, target.constData());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    // Devices are reached directly, whatever proxy the environment names.
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, requestHeaders);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(timeoutMs));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(maxBodySize));
    curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Callbacks::body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Callbacks::header);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        curl_easy_cleanup(easy);
        return 0;
    }
    const quint64 id = transfer->id;
    transfers.emplace(id, std::move(transfer));
    return id;
}

void DescriptionTransfers::abortAll()
{
    while (!transfers.empty())
        remove(transfers.begin()->second.get());
}

void DescriptionTransfers::remove(Transfer *transfer)
{
    // Closes the connection, which libcurl stops watching first.
    curl_multi_remove_handle(multi, transfer->easy);
    curl_easy_cleanup(transfer->easy);
    transfers.erase(transfer->id);
}

void DescriptionTransfers::watch(qintptr socket, bool read, bool write)
{
    if (!read && !write) {
        // libcurl is done with the socket and closes it next. The notifiers
        // may be the ones that called in: they go once control is back.
        const SocketWatch gone = sockets.take(socket);
        for (QSocketNotifier *notifier : {gone.read, gone.write}) {
            if (notifier) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
        }
        return;
    }
    SocketWatch &watched = sockets[socket];
    const auto update = [this, socket](QSocketNotifier *&notifier, QSocketNotifier::Type type,
                                       int event, bool wanted) {
        if (!notifier && wanted) {
            notifier = new QSocketNotifier(socket, type, this);
            connect(notifier, &QSocketNotifier::activated, this,
                    [this, socket, event] { act(socket, event); });
        }
        if (notifier)
            notifier->setEnabled(wanted);
    };
    update(watched.read, QSocketNotifier::Read, CURL_CSELECT_IN, read);
    update(watched.write, QSocketNotifier::Write, CURL_CSELECT_OUT, write);
    if (write && !connecting->isActive())
        connecting->start();
}

void DescriptionTransfers::checkConnecting()
{
    // Windows notifies a failed connection attempt only if the notifier was
    // registered before it failed, which a refusal on a fast network beats:
    // the fetch would wait for its time to run out. So libcurl looks at the
    // sockets it waits to write to itself, as long as there are any.
    QList<qintptr> waiting;
    for (auto it = sockets.cbegin(); it != sockets.cend(); ++it) {
        if (it->write && it->write->isEnabled())
            waiting << it.key();
    }
    if (waiting.isEmpty())
        connecting->stop();
    for (const qintptr socket : std::as_const(waiting)) {
        // An earlier one may have ended transfers, and their sockets with them.
        if (sockets.contains(socket))
            act(socket, 0);
    }
}

void DescriptionTransfers::act(qintptr socket, int events)
{
    int running = 0;
    curl_multi_socket_action(multi, curl_socket_t(socket), events, &running);
    reportFinished();
}

void DescriptionTransfers::reportFinished()
{
    // One message at a time: a receiver of finished() may abort the others,
    // which takes their messages out of the queue too.
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        void *reading = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &reading);
        auto *transfer = static_cast<Transfer *>(reading);
        Answer answer;
        answer.complete = message->data.result == CURLE_OK;
        long status = 0;
        curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
        answer.status = int(status);
        char *location = nullptr;
        if (status >= 300 && status < 400 &&
            curl_easy_getinfo(transfer->easy, CURLINFO_REDIRECT_URL, &location) == CURLE_OK &&
            location)
            answer.redirect = QUrl::fromEncoded(QByteArray(location));
        answer.body = std::move(transfer->body);
        const quint64 id = transfer->id;
        remove(transfer);
        emit finished(id, answer);
    }
}
