#include "devicereporter.h"

#include "devicerecord.h"
#include "localaddresslist.h"
#include "platform.h"

#include <QIODevice>
#include <QStringList>
#include <QTextStream>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The host of an address slot as an IPv4 value in network byte order, when
// it has four dot-separated parts; a part that is no number counts as 0 and
// a part above 255 by its low 8 bits.
bool hostAsIPv4(const char *slot, quint32 &value)
{
    const QString host = QUrl(QString::fromUtf8(slot), QUrl::TolerantMode).host(QUrl::FullyDecoded);
    const QStringList parts = host.split(QLatin1Char('.'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (parts.size() != 4)
        return false;
    unsigned char octets[4];
    for (int i = 0; i < 4; ++i)
        octets[i] = static_cast<unsigned char>(parts[i].toUShort(nullptr, 10) & 0xff);
    std::memcpy(&value, octets, sizeof value);
    return true;
}

// Hashes the text in use only, a few dozen bytes instead of 10,500: equal
// records still hash alike, and the byte-for-byte comparison decides.
size_t contentHash(const DeviceRecord &record)
{
    size_t hash = qHashBits(record.name, qstrnlen(record.name, sizeof record.name));
    hash = qHash(record.addressCount, hash);
    for (const char *slot : record.addresses)
        hash = qHashBits(slot, qstrnlen(slot, DeviceRecord::addressSize), hash);
    return hash;
}

} // namespace

DeviceReporter::DeviceReporter(const LocalAddressList *addressList)
    // Zeroed allocation: pages of the table that no record reaches are never touched.
    : records(static_cast<DeviceRecord *>(std::calloc(capacity, sizeof(DeviceRecord)))),
      addressList(addressList)
{
    Q_CHECK_PTR(records);
    index.reserve(capacity);
}

DeviceReporter::~DeviceReporter()
{
    std::free(records);
}

void DeviceReporter::report(const DeviceRecord &record)
{
    const size_t hash = contentHash(record);
    QMutexLocker locker(&mutex);
    for (auto it = index.constFind(hash); it != index.cend() && it.key() == hash; ++it) {
        if (std::memcmp(&records[it.value()], &record, sizeof record) == 0)
            return;
    }
    if (count >= capacity)
        return;
    std::memcpy(&records[count], &record, sizeof record);
    index.insert(hash, count++);

    const int k = chooseAddress(record);
    if (k < 0)
        return;
    char line[1024] = {};
    Platform::formatText(line, sizeof line, "\n[%s] <%s>\n", record.name, record.addresses[k]);

    QTextStream out(stdout, QIODevice::ReadWrite);
    out << line << Qt::endl;
    std::fflush(stdout);
}

int DeviceReporter::chooseAddress(const DeviceRecord &record) const
{
    const int n = record.addressCount;
    if (n <= 1)
        return n - 1;
    int best = -1;
    int k = 0;
    for (int i = 0; i < n; ++i) {
        quint32 host;
        if (!hostAsIPv4(record.addresses[i], host))
            continue;
        const int score = addressList->prefixScore(host);
        if (score > best) {
            best = score;
            k = i;
        }
    }
    return k;
}
