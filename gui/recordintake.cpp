#include "recordintake.h"

#include "backend.h"

#include <QUrl>

namespace {

struct RecordFields
{
    QString name;
    QString address;
};

// Both ways write "[" name "] <" address ">" and a line end, and an address
// holds no "] <": so the name runs from the first "[" to the last "] <",
// and may hold brackets of either kind ("[TV] Samsung 7 Series (50)", "a<b>c").
// Anything else is read from the first brackets of each kind.
RecordFields splitRecord(const QString &record)
{
    const QLatin1String separator("] <");
    const qsizetype open = record.indexOf(QLatin1Char('['));
    const qsizetype middle = record.lastIndexOf(separator);
    const qsizetype close = record.lastIndexOf(QLatin1Char('>'));
    if (open >= 0 && middle > open && close >= middle + separator.size()) {
        const qsizetype addressStart = middle + separator.size();
        return {record.mid(open + 1, middle - open - 1),
                record.mid(addressStart, close - addressStart)};
    }
    return {textBetween(record, QLatin1Char('['), QLatin1Char(']')),
            textBetween(record, QLatin1Char('<'), QLatin1Char('>'))};
}

} // namespace

QString textBetween(const QString &text, QChar open, QChar close)
{
    const qsizetype p = text.indexOf(open);
    const qsizetype q = text.indexOf(close);
    if (p < 0 || q <= p)
        return QString();
    return text.mid(p + 1, q - p - 1);
}

QString originOf(const QString &url)
{
    const QUrl parsed(url, QUrl::TolerantMode);
    QString host = parsed.host(QUrl::FullyDecoded);
    // An IPv6 literal keeps its brackets, or the link would not open.
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    QString origin = parsed.scheme() + QLatin1String("://") + host;
    if (parsed.port(-1) > 0)
        origin += QLatin1Char(':') + QString::number(parsed.port(-1));
    return origin;
}

void addLenscoutRecord(const QString &record)
{
    const RecordFields fields = splitRecord(record);
    backEndInstance->addDevice(fields.name, originOf(fields.address));
}

void addSsdpRecord(const QString &record)
{
    const RecordFields fields = splitRecord(record);
    backEndInstance->addDevice(fields.name, fields.address);
}
