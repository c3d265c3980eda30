// Which local addresses count and how device addresses are scored against them.

#include "hostaddresses.h"
#include "localaddresslist.h"

#include <QNetworkInterface>
#include <QTest>

#ifdef Q_OS_WIN
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

namespace {

quint32 ipv4(const char *text)
{
    quint32 value = 0;
    inet_pton(AF_INET, text, &value);
    return value;
}

} // namespace

class TestLocalAddressList : public QObject
{
    Q_OBJECT

private slots:
    void keepsGlobalIPv4Only();
    void keepsDuplicatesAndOrder();
    void holdsAtMost256();
    void prefixScore_data();
    void prefixScore();
    void emptyListScoresMinusOne();
    void enumeratesTheInterfaces();
};

void TestLocalAddressList::keepsGlobalIPv4Only()
{
    const LocalAddressList list(
        hosts({"127.0.0.1", "169.254.10.20", "192.0.2.1", "fe80::1", "2001:db8::1", "224.0.0.1",
               "0.0.0.1", "255.255.255.255", "240.0.0.1", "10.1.2.3", "172.16.0.1", "192.168.1.10",
               "198.51.100.1"}));
    QStringList texts;
    for (int i = 0; i < list.count(); ++i)
        texts << list.addressText(i);
    QCOMPARE(texts,
             (QStringList{"192.0.2.1", "10.1.2.3", "172.16.0.1", "192.168.1.10", "198.51.100.1"}));
    QCOMPARE(list.address(0), ipv4("192.0.2.1"));
}

void TestLocalAddressList::keepsDuplicatesAndOrder()
{
    const LocalAddressList list(hosts({"198.51.100.1", "192.0.2.1", "198.51.100.1"}));
    QCOMPARE(list.count(), 3);
    QCOMPARE(list.addressText(0), QStringLiteral("198.51.100.1"));
    QCOMPARE(list.addressText(2), QStringLiteral("198.51.100.1"));
}

void TestLocalAddressList::holdsAtMost256()
{
    QList<QHostAddress> many;
    for (int i = 0; i < 300; ++i)
        many << QHostAddress(quint32(0xC0000200u + quint32(i))); // from 192.0.2.0 on
    const LocalAddressList list(many);
    QCOMPARE(list.count(), 256);
    QCOMPARE(list.addressText(255), QStringLiteral("192.0.2.255")); // the 257th is dropped
}

void TestLocalAddressList::prefixScore_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("score");
    QTest::newRow("same /24") << "192.0.2.200" << 3;
    QTest::newRow("same /16") << "192.0.7.1" << 2;
    QTest::newRow("same first octet of the second") << "198.9.9.9" << 1;
    QTest::newRow("nothing in common") << "203.0.113.1" << 0;
    QTest::newRow("the local address itself") << "198.51.100.5" << 3;
}

void TestLocalAddressList::prefixScore()
{
    QFETCH(QString, address);
    QFETCH(int, score);
    const LocalAddressList list(hosts({"192.0.2.10", "198.51.100.5"}));
    QCOMPARE(list.prefixScore(ipv4(address.toLatin1().constData())), score);
}

void TestLocalAddressList::emptyListScoresMinusOne()
{
    const LocalAddressList list(QList<QHostAddress>{});
    QCOMPARE(list.count(), 0);
    QCOMPARE(list.prefixScore(ipv4("192.0.2.1")), -1);
}

void TestLocalAddressList::enumeratesTheInterfaces()
{
    // Only reads the interface table; sends nothing.
    int expected = 0;
    for (const QNetworkInterface &networkInterface : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry &entry : networkInterface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.isGlobal() && ip.protocol() == QAbstractSocket::IPv4Protocol &&
                ip != QHostAddress::Broadcast)
                ++expected;
        }
    }
    QCOMPARE(LocalAddressList().count(), qMin(expected, LocalAddressList::capacity));
}

QTEST_APPLESS_MAIN(TestLocalAddressList)
#include "tst_localaddresslist.moc"
