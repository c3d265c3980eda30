// Duplicate suppression, address choice and the exact bytes of the output.

#include "devicerecord.h"
#include "devicereporter.h"
#include "hostaddresses.h"
#include "localaddresslist.h"

#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>

#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

DeviceRecord makeRecord(const QByteArray &name, const QList<QByteArray> &addresses)
{
    DeviceRecord record;
    std::memset(&record, 0, sizeof record);
    qstrncpy(record.name, name.constData(), sizeof record.name);
    for (const QByteArray &address : addresses)
        qstrncpy(record.addresses[record.addressCount++], address.constData(),
                 DeviceRecord::addressSize);
    return record;
}

// Collects what the reporter writes to the process's standard output.
class StandardOutputCapture
{
public:
    StandardOutputCapture()
    {
        file.open();
        std::fflush(stdout);
        saved = dup(fileno(stdout));
        dup2(file.handle(), fileno(stdout));
    }
    QByteArray finish()
    {
        std::fflush(stdout);
        dup2(saved, fileno(stdout));
        close(saved);
        file.seek(0);
        return file.readAll();
    }

private:
    QTemporaryFile file;
    int saved = -1;
};

} // namespace

class TestDeviceReporter : public QObject
{
    Q_OBJECT

private slots:
    void chooseAddress_data();
    void chooseAddress();
    void outputRecordBytes_data();
    void outputRecordBytes();
    void identicalAnswersArePrintedOnce();
    void answersDifferingInAnyByteArePrintedEach();
    void recordWithoutAddressIsRememberedNotPrinted();
    void tableHoldsTenThousandRecords();
    void concurrentReportsNeitherInterleaveNorRepeat();
};

void TestDeviceReporter::chooseAddress_data()
{
    QTest::addColumn<QStringList>("local");
    QTest::addColumn<QList<QByteArray>>("addresses");
    QTest::addColumn<int>("choice");

    const QStringList one{"192.0.2.10"};
    QTest::newRow("none") << one << QList<QByteArray>{} << -1;
    QTest::newRow("a single host name is printed")
        << one << QList<QByteArray>{"http://camera.local/onvif/device_service"} << 0;
    QTest::newRow("IPv6 literal skipped")
        << one
        << QList<QByteArray>{"http://[fe80::1]/onvif/device_service",
                             "http://192.0.2.64/onvif/device_service"}
        << 1;
    QTest::newRow("most shared octets wins")
        << QStringList{"192.0.2.10", "198.51.9.9"}
        << QList<QByteArray>{"http://198.51.2.3/onvif/device_service",
                             "http://192.0.2.64/onvif/device_service"}
        << 1;
    QTest::newRow("tie keeps the earlier slot")
        << one << QList<QByteArray>{"http://192.0.2.64/", "http://192.0.2.65/"} << 0;
    QTest::newRow("no numeric host prints the first")
        << one << QList<QByteArray>{"http://a.example/", "http://b.example/"} << 0;
    QTest::newRow("four non-numeric labels score as 0.0.0.0")
        << one << QList<QByteArray>{"http://camera.local/", "http://a.b.c.d/"} << 1;
    QTest::newRow("octet above 255 counts by its low 8 bits")
        << one << QList<QByteArray>{"http://198.51.100.1/", "http://192.0.258.1/"} << 1;
    QTest::newRow("port and path play no part")
        << one << QList<QByteArray>{"http://198.51.100.1:80/x", "https://192.0.2.99:8443/y"} << 1;
}

void TestDeviceReporter::chooseAddress()
{
    QFETCH(QStringList, local);
    QFETCH(QList<QByteArray>, addresses);
    QFETCH(int, choice);
    const LocalAddressList list(hosts(local));
    const DeviceReporter reporter(&list);
    QCOMPARE(reporter.chooseAddress(makeRecord("X", addresses)), choice);
}

void TestDeviceReporter::outputRecordBytes_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QList<QByteArray>>("addresses");
    QTest::addColumn<QByteArray>("output");

    QTest::newRow("example") << QByteArray("Front Door")
                             << QList<QByteArray>{"http://192.0.2.64/onvif/device_service"}
                             << QByteArray(
                                    "\n[Front Door] <http://192.0.2.64/onvif/device_service>\n\n");
    QTest::newRow("unknown name") << QByteArray("Unknown") << QList<QByteArray>{"http://192.0.2.9/"}
                                  << QByteArray("\n[Unknown] <http://192.0.2.9/>\n\n");
    QTest::newRow("empty name") << QByteArray("") << QList<QByteArray>{"http://192.0.2.9/"}
                                << QByteArray("\n[] <http://192.0.2.9/>\n\n");
    QTest::newRow("empty address")
        << QByteArray("Cam") << QList<QByteArray>{""} << QByteArray("\n[Cam] <>\n\n");
    QTest::newRow("chosen slot printed whole")
        << QByteArray("Two")
        << QList<QByteArray>{"http://[fe80::1]/onvif/device_service",
                             "http://192.0.2.64:8080/onvif/device_service?x=1"}
        << QByteArray("\n[Two] <http://192.0.2.64:8080/onvif/device_service?x=1>\n\n");
    QTest::newRow("UTF-8 passes unchanged")
        << QString::fromUtf8("Kamera Müller 東京").toUtf8()
        << QList<QByteArray>{"http://192.0.2.5/"}
        << QString::fromUtf8("\n[Kamera Müller 東京] <http://192.0.2.5/>\n\n").toUtf8();
    QTest::newRow("longest texts fit")
        << QByteArray(255, 'n') << QList<QByteArray>{QByteArray(511, 'a')}
        << "\n[" + QByteArray(255, 'n') + "] <" + QByteArray(511, 'a') + ">\n\n";
}

void TestDeviceReporter::outputRecordBytes()
{
    QFETCH(QByteArray, name);
    QFETCH(QList<QByteArray>, addresses);
    QFETCH(QByteArray, output);
    const LocalAddressList list(hosts({"192.0.2.10"}));
    DeviceReporter reporter(&list);
    StandardOutputCapture capture;
    reporter.report(makeRecord(name, addresses));
    QCOMPARE(capture.finish(), output);
}

void TestDeviceReporter::identicalAnswersArePrintedOnce()
{
    const LocalAddressList list(hosts({"192.0.2.1", "198.51.100.1"}));
    DeviceReporter reporter(&list);
    const DeviceRecord answer = makeRecord("Cam", {"http://192.0.2.10/onvif/device_service"});
    StandardOutputCapture capture;
    reporter.report(answer); // through the first local address
    reporter.report(answer); // the same device through the second
    QCOMPARE(capture.finish(), QByteArray("\n[Cam] <http://192.0.2.10/onvif/device_service>\n\n"));
}

void TestDeviceReporter::answersDifferingInAnyByteArePrintedEach()
{
    const LocalAddressList list(hosts({"192.0.2.1", "198.51.100.1"}));
    DeviceReporter reporter(&list);
    DeviceRecord first = makeRecord("Cam", {"http://192.0.2.10/", "http://198.51.100.10/"});
    DeviceRecord second = makeRecord("Cam", {"http://198.51.100.10/", "http://192.0.2.10/"});
    DeviceRecord third = first;
    third.addresses[5][400] = 'x'; // beyond the terminators of every slot in use
    StandardOutputCapture capture;
    reporter.report(first);
    reporter.report(second);
    reporter.report(third);
    reporter.report(first);
    QCOMPARE(capture.finish(), QByteArray("\n[Cam] <http://192.0.2.10/>\n\n"
                                          "\n[Cam] <http://198.51.100.10/>\n\n"
                                          "\n[Cam] <http://192.0.2.10/>\n\n"));
}

void TestDeviceReporter::recordWithoutAddressIsRememberedNotPrinted()
{
    const LocalAddressList list(hosts({"192.0.2.1"}));
    DeviceReporter reporter(&list);
    DeviceRecord zeroed;
    std::memset(&zeroed, 0, sizeof zeroed);
    StandardOutputCapture capture;
    reporter.report(zeroed);
    reporter.report(makeRecord("Named", {}));
    reporter.report(zeroed);
    QCOMPARE(capture.finish(), QByteArray());
}

void TestDeviceReporter::tableHoldsTenThousandRecords()
{
    const LocalAddressList list(hosts({"192.0.2.1"}));
    DeviceReporter reporter(&list);
    StandardOutputCapture capture;
    for (int i = 0; i < DeviceReporter::capacity; ++i)
        reporter.report(makeRecord("Device " + QByteArray::number(i), {"http://192.0.2.2/"}));
    reporter.report(makeRecord("Device 10000", {"http://192.0.2.2/"})); // the 10,001st
    reporter.report(makeRecord("Device 9999", {"http://192.0.2.2/"}));  // a known one
    const QByteArray output = capture.finish();
    QCOMPARE(output.count("\n["), qsizetype(DeviceReporter::capacity));
    QVERIFY(output.endsWith("\n[Device 9999] <http://192.0.2.2/>\n\n"));
    QVERIFY(!output.contains("Device 10000"));
}

void TestDeviceReporter::concurrentReportsNeitherInterleaveNorRepeat()
{
    // Eight probing threads at once; every device answers each of them, and
    // each thread also hears devices that only it can reach.
    const LocalAddressList list(hosts({"192.0.2.1"}));
    DeviceReporter reporter(&list);
    constexpr int threadCount = 8;
    constexpr int shared = 200;
    constexpr int own = 100;
    const QByteArray longAddress = "http://192.0.2.3/" + QByteArray(400, 'p');
    StandardOutputCapture capture;
    QList<QThread *> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads << QThread::create([&reporter, &longAddress, t] {
            for (int i = 0; i < shared + own; ++i) {
                const QByteArray name =
                    i < shared ? "Shared " + QByteArray::number(i)
                               : QByteArray::number(t) + " own " + QByteArray::number(i);
                reporter.report(makeRecord(name, {longAddress}));
            }
        });
        threads.last()->start();
    }
    for (QThread *thread : std::as_const(threads)) {
        QVERIFY(thread->wait(60000));
        delete thread;
    }
    const QByteArray output = capture.finish();

    const QRegularExpression record(QStringLiteral("\\n\\[([^\\]]+)\\] <([^>]*)>\\n\\n"));
    const QString text = QString::fromLatin1(output);
    QSet<QString> names;
    qsizetype offset = 0;
    while (offset < text.size()) {
        const QRegularExpressionMatch match =
            record.match(text, offset, QRegularExpression::NormalMatch,
                         QRegularExpression::AnchorAtOffsetMatchOption);
        QVERIFY2(match.hasMatch(), qPrintable(text.mid(offset, 80)));
        QCOMPARE(match.captured(2), QString::fromLatin1(longAddress));
        QVERIFY2(!names.contains(match.captured(1)), qPrintable(match.captured(1)));
        names.insert(match.captured(1));
        offset += match.capturedLength();
    }
    QCOMPARE(names.size(), shared + threadCount * own);
}

QTEST_APPLESS_MAIN(TestDeviceReporter)
#include "tst_devicereporter.moc"
