// Record filling from ProbeMatches text that gSOAP itself parses from memory.

#include "recordfillingharness.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <cstring>

class TestRecordFilling : public QObject
{
    Q_OBJECT

private slots:
    void nameScope_data();
    void nameScope();
    void addressSplitting_data();
    void addressSplitting();
    void oversizedLastAddressStaysInItsSlot();
    void onlyTheFirstProbeMatchCounts();
    void nonAsciiNamePassesAsUtf8();
    void messagesWithoutAProbeMatchesValue_data();
    void messagesWithoutAProbeMatchesValue();
    void capturedAnswers_data();
    void capturedAnswers();

private:
    static DeviceRecord fill(const QByteArray &message, int *status = nullptr)
    {
        return RecordFillingHarness::fill(message, status);
    }
    static QByteArray probeMatches(const QByteArray &matches);
    static QByteArray probeMatch(const QByteArray &scopes, const QByteArray &xaddrs);
    static QStringList addresses(const DeviceRecord &record);
};

QByteArray TestRecordFilling::probeMatches(const QByteArray &matches)
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope"
 xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing"
 xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"
 xmlns:dn="http://www.onvif.org/ver10/network/wsdl">
<s:Header><a:MessageID>urn:uuid:5e1f8a8e-0c3c-4d5e-9b0e-000000000001</a:MessageID>
<a:RelatesTo>urn:uuid:5e1f8a8e-0c3c-4d5e-9b0e-000000000000</a:RelatesTo>
<a:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</a:To>
<a:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</a:Action></s:Header>
<s:Body><d:ProbeMatches>)" +
           matches + "</d:ProbeMatches></s:Body></s:Envelope>";
}

QByteArray TestRecordFilling::probeMatch(const QByteArray &scopes, const QByteArray &xaddrs)
{
    QByteArray match = "<d:ProbeMatch><a:EndpointReference><a:Address>urn:uuid:1</a:Address>"
                       "</a:EndpointReference><d:Types>dn:NetworkVideoTransmitter</d:Types>";
    if (!scopes.isNull())
        match += "<d:Scopes>" + scopes + "</d:Scopes>";
    if (!xaddrs.isNull())
        match += "<d:XAddrs>" + xaddrs + "</d:XAddrs>";
    return match + "<d:MetadataVersion>1</d:MetadataVersion></d:ProbeMatch>";
}

QStringList TestRecordFilling::addresses(const DeviceRecord &record)
{
    QStringList list;
    for (int i = 0; i < record.addressCount; ++i)
        list << QString::fromUtf8(record.addresses[i]);
    return list;
}

void TestRecordFilling::nameScope_data()
{
    QTest::addColumn<QByteArray>("scopes");
    QTest::addColumn<QString>("name");

    const QByteArray prefix = "onvif://www.onvif.org/name/";
    QTest::newRow("among other scopes")
        << QByteArray("onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/name/"
                      "Front%20Door onvif://www.onvif.org/location/country/x")
        << "Front Door";
    QTest::newRow("underscore kept") << prefix + "My_Camera"
                                     << "My_Camera";
    QTest::newRow("only %20 is decoded") << prefix + "A%2520B"
                                         << "A%2520B";
    QTest::newRow("several %20") << prefix + "One%20Two%20Three"
                                 << "One Two Three";
    QTest::newRow("plus kept") << prefix + "a+b"
                               << "a+b";
    QTest::newRow("%20 at both ends") << prefix + "%20Cam%20"
                                      << " Cam ";
    QTest::newRow("255-byte run") << prefix + QByteArray(255, 'n') << QString(255, 'n');
    QTest::newRow("256-byte run leaves it empty") << prefix + QByteArray(256, 'n') << "";
    QTest::newRow("prefix at the very end") << "onvif://www.onvif.org/type/x " + prefix << "";
    QTest::newRow("name on the next line") << "\n    " + prefix + "Amcrest\n"
                                           << "Amcrest";
    QTest::newRow("no name scope")
        << QByteArray("onvif://www.onvif.org/type/video_encoder") << "Unknown";
    QTest::newRow("capitalised Name is not the name scope")
        << QByteArray("onvif://www.onvif.org/Name/IPCAM") << "Unknown";
    QTest::newRow("empty Scopes") << QByteArray("") << "Unknown";
    QTest::newRow("no Scopes") << QByteArray() << "Unknown";
}

void TestRecordFilling::nameScope()
{
    QFETCH(QByteArray, scopes);
    QFETCH(QString, name);
    const DeviceRecord record = fill(probeMatches(probeMatch(scopes, "http://192.0.2.20/")));
    QCOMPARE(QString::fromUtf8(record.name), name);
    QCOMPARE(addresses(record), QStringList{"http://192.0.2.20/"});
}

void TestRecordFilling::addressSplitting_data()
{
    QTest::addColumn<QByteArray>("xaddrs");
    QTest::addColumn<QStringList>("addressSlots");

    QTest::newRow("two") << QByteArray("http://192.168.1.20/onvif/device_service "
                                       "http://10.0.0.20/onvif/device_service")
                         << QStringList{"http://192.168.1.20/onvif/device_service",
                                        "http://10.0.0.20/onvif/device_service"};
    QTest::newRow("one") << QByteArray("a") << QStringList{"a"};
    QTest::newRow("empty element") << QByteArray("") << QStringList{""};
    // XAddrs is an XML list: a run of XML white space is one separator, and
    // white space at either end separates nothing.
    QTest::newRow("white space only") << QByteArray(" \t\r\n ") << QStringList{""};
    QTest::newRow("two spaces between") << QByteArray("a  b") << QStringList{"a", "b"};
    QTest::newRow("trailing space") << QByteArray("a ") << QStringList{"a"};
    QTest::newRow("leading space") << QByteArray(" a") << QStringList{"a"};
    QTest::newRow("tab") << QByteArray("a\tb") << QStringList{"a", "b"};
    QTest::newRow("line feed") << QByteArray("a\nb") << QStringList{"a", "b"};
    QTest::newRow("CR LF") << QByteArray("a\r\nb") << QStringList{"a", "b"};
    QTest::newRow("character reference CR") << QByteArray("a&#13;b") << QStringList{"a", "b"};
    QTest::newRow("wrapped and indented") << QByteArray("\n a\n") << QStringList{"a"};
    QTest::newRow("indented lines, CR LF")
        << QByteArray("\r\n      a b\r\n      c\r\n    ") << QStringList{"a", "b", "c"};

    QList<QByteArray> many;
    for (int i = 1; i <= 25; ++i)
        many << "http://192.0.2." + QByteArray::number(i) + "/";
    const auto slotsOf = [](const QList<QByteArray> &list) {
        QStringList expected;
        for (int i = 0; i < list.size() && i < 19; ++i)
            expected << QString::fromLatin1(list[i]);
        if (list.size() > 19) // the last slot: the 20th address and all after it
            expected << QString::fromLatin1(list.mid(19).join(' '));
        return expected;
    };
    QTest::newRow("20 addresses") << many.mid(0, 20).join(' ') << slotsOf(many.mid(0, 20));
    QTest::newRow("21 addresses, one a line, indented")
        << "\r\n  " + many.mid(0, 21).join("\r\n  ") + "\r\n"
        << slotsOf(many.mid(0, 21));
    QTest::newRow("25 addresses") << many.join(' ') << slotsOf(many);
    // The remainder in the last slot keeps its addresses one space apart.
    QTest::newRow("25 addresses, one a line") << many.join('\n') << slotsOf(many);
    QTest::newRow("25 addresses, tab and CR LF")
        << many.mid(0, 19).join('\t') + "\t" + many.mid(19).join("\r\n") << slotsOf(many);
    QTest::newRow("25 addresses, runs of white space") << " " + many.join(" \t\r\n  ") + "\n"
                                                       << slotsOf(many);

    const QByteArray token512 = "http://192.0.2.1/" + QByteArray(512 - 17, 'x');
    QTest::newRow("512-byte token leaves its slot empty")
        << token512 + " http://192.0.2.2/" << QStringList{"", "http://192.0.2.2/"};
    QTest::newRow("511-byte token fills its slot")
        << token512.left(511) + "\r\n http://192.0.2.2/"
        << QStringList{QString::fromLatin1(token512.left(511)), "http://192.0.2.2/"};
}

void TestRecordFilling::addressSplitting()
{
    QFETCH(QByteArray, xaddrs);
    QFETCH(QStringList, addressSlots);
    const QByteArray scopes = "onvif://www.onvif.org/name/X";
    const DeviceRecord record = fill(probeMatches(probeMatch(scopes, xaddrs)));
    QCOMPARE(addresses(record), addressSlots);
    for (int i = record.addressCount; i < DeviceRecord::maxAddresses; ++i)
        QCOMPARE(record.addresses[i][0], '\0');
    for (const QString &slot : addressSlots) // a record is printed as one line
        QVERIFY2(!slot.contains(QRegularExpression(QStringLiteral("[\t\r\n]"))), qPrintable(slot));

    // The same device answering with single spaces gives the same bytes, so
    // the reporter prints it once.
    const DeviceRecord spaced = fill(probeMatches(probeMatch(scopes, xaddrs.simplified())));
    QVERIFY(std::memcmp(&record, &spaced, sizeof record) == 0);
}

void TestRecordFilling::oversizedLastAddressStaysInItsSlot()
{
    // 19 short addresses and a remainder far beyond one 512-byte slot.
    QByteArray xaddrs;
    for (int i = 0; i < 19; ++i)
        xaddrs += "http://192.0.2." + QByteArray::number(i) + "/ ";
    xaddrs += QByteArray(600, 'r') + " " + QByteArray(600, 's');
    const DeviceRecord record =
        fill(probeMatches(probeMatch("onvif://www.onvif.org/name/X", xaddrs)));
    QCOMPARE(record.addressCount, 20);
    QCOMPARE(QByteArray(record.addresses[18]), QByteArray("http://192.0.2.18/"));
    QCOMPARE(record.addresses[19][0], '\0');
    QCOMPARE(record.name, "X");

    const DeviceRecord single =
        fill(probeMatches(probeMatch("onvif://www.onvif.org/name/X", QByteArray(5000, 'u'))));
    QCOMPARE(single.addressCount, 1);
    QCOMPARE(single.addresses[0][0], '\0');
}

void TestRecordFilling::onlyTheFirstProbeMatchCounts()
{
    const DeviceRecord record =
        fill(probeMatches(probeMatch("onvif://www.onvif.org/name/First", "http://192.0.2.1/") +
                          probeMatch("onvif://www.onvif.org/name/Second", "http://192.0.2.2/")));
    QCOMPARE(record.name, "First");
    QCOMPARE(addresses(record), QStringList{"http://192.0.2.1/"});
}

void TestRecordFilling::nonAsciiNamePassesAsUtf8()
{
    const QString name = QStringLiteral("Kamera Müller 東京");
    QByteArray scope = "onvif://www.onvif.org/name/" + name.toUtf8();
    scope.replace(' ', "%20");
    const DeviceRecord record =
        fill(probeMatches(probeMatch(scope, "http://192.0.2.7/ü東/device_service")));
    QCOMPARE(QString::fromUtf8(record.name), name);
    QCOMPARE(addresses(record), QStringList{QStringLiteral("http://192.0.2.7/ü東/device_service")});
}

void TestRecordFilling::messagesWithoutAProbeMatchesValue_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("no ProbeMatch element") << probeMatches("");
    QTest::newRow("2009/01 namespace")
        << QByteArray(R"(<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope"
 xmlns:d="http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01"><s:Body><d:ProbeMatches>
<d:ProbeMatch><d:Scopes>onvif://www.onvif.org/name/X</d:Scopes><d:XAddrs>http://192.0.2.1/</d:XAddrs>
</d:ProbeMatch></d:ProbeMatches></s:Body></s:Envelope>)");
}

void TestRecordFilling::messagesWithoutAProbeMatchesValue()
{
    QFETCH(QByteArray, message);
    const DeviceRecord record = fill(message);
    const DeviceRecord zero{};
    QVERIFY(std::memcmp(&record, &zero, sizeof record) == 0);
}

void TestRecordFilling::capturedAnswers_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QJsonValue>("expected");

    const QDir directory(QStringLiteral(TEST_DATA_DIR "/probematches"));
    QFile expectations(directory.filePath(QStringLiteral("expected.json")));
    QVERIFY(expectations.open(QIODevice::ReadOnly));
    const QJsonObject table = QJsonDocument::fromJson(expectations.readAll()).object();
    const QStringList files = directory.entryList({QStringLiteral("*.xml")}, QDir::Files);
    QCOMPARE(files.size(), table.size());
    for (const QString &file : files) {
        QVERIFY2(table.contains(file), qPrintable(file));
        QTest::newRow(qPrintable(file)) << directory.filePath(file) << table.value(file);
    }
}

void TestRecordFilling::capturedAnswers()
{
    QFETCH(QString, file);
    QFETCH(QJsonValue, expected);
    QFile message(file);
    QVERIFY(message.open(QIODevice::ReadOnly));
    int status = -1;
    const DeviceRecord record = fill(message.readAll(), &status);
    QCOMPARE(status, SOAP_OK);

    if (expected.isNull()) { // not a 2005/04 answer: nothing to report
        QCOMPARE(record.addressCount, 0);
        QCOMPARE(record.name[0], '\0');
        return;
    }
    QCOMPARE(QString::fromUtf8(record.name), expected[QLatin1String("name")].toString());
    QStringList addressSlots;
    for (const QJsonValue &slot : expected[QLatin1String("addresses")].toArray())
        addressSlots << slot.toString();
    QCOMPARE(addresses(record), addressSlots); // no XAddrs element: no address slot
}

QTEST_APPLESS_MAIN(TestRecordFilling)
#include "tst_recordfilling.moc"
