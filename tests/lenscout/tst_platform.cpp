// The portable stand-ins for the bounded C-runtime calls and the UUID service.

#include "platform.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <cstring>

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void messageIdIsAFreshLowerCaseUuid();
    void scanToken_data();
    void scanToken();
    void copyTextLeavesTargetEmptyWhenTooLong();
    void formatTextTerminates();
};

void TestPlatform::messageIdIsAFreshLowerCaseUuid()
{
    const QRegularExpression form(
        QStringLiteral("^urn:uuid:[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
    QSet<QByteArray> seen;
    for (int i = 0; i < 100; ++i) {
        const QByteArray id = Platform::newMessageId();
        QVERIFY2(form.match(QString::fromLatin1(id)).hasMatch(), id.constData());
        seen.insert(id);
    }
    QCOMPARE(seen.size(), 100);
}

void TestPlatform::scanToken_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("target");

    QTest::newRow("first run") << QByteArray("abc def") << 16 << 1 << QByteArray("abc");
    QTest::newRow("leading white space skipped")
        << QByteArray(" \t\r\n\v\fabc") << 16 << 1 << QByteArray("abc");
    QTest::newRow("stops at a tab") << QByteArray("ab\tc") << 16 << 1 << QByteArray("ab");
    QTest::newRow("exactly size - 1 fits")
        << QByteArray("abcdefg") << 8 << 1 << QByteArray("abcdefg");
    QTest::newRow("size bytes leave it empty") << QByteArray("abcdefgh") << 8 << 0 << QByteArray();
    QTest::newRow("nothing to read leaves it unchanged")
        << QByteArray("   ") << 8 << -1 << QByteArray("keep");
}

void TestPlatform::scanToken()
{
    QFETCH(QByteArray, source);
    QFETCH(int, size);
    QFETCH(int, result);
    QFETCH(QByteArray, target);
    char buffer[32] = "keep";
    QCOMPARE(Platform::scanToken(source.constData(), buffer, size), result);
    QCOMPARE(QByteArray(buffer), target);
}

void TestPlatform::copyTextLeavesTargetEmptyWhenTooLong()
{
    char buffer[8];
    QVERIFY(Platform::copyText(buffer, sizeof buffer, "1234567"));
    QCOMPARE(buffer, "1234567");
    QVERIFY(!Platform::copyText(buffer, sizeof buffer, "12345678"));
    QCOMPARE(buffer[0], '\0');
}

void TestPlatform::formatTextTerminates()
{
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    Platform::formatText(buffer, sizeof buffer, "[%s] <%s>", "ab", "cd");
    QCOMPARE(buffer, "[ab] <cd>");
}

QTEST_APPLESS_MAIN(TestPlatform)
#include "tst_platform.moc"
