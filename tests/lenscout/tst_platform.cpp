// The bounded C-runtime calls and the UUID service: the C runtime's own on
// Windows, portable stand-ins elsewhere, with the same results.

#include "platform.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <cstdlib>
#include <cstring>

namespace {

// The lengths of a device name and a device address that just fit, just do
// not fit, and are far too long.
const QByteArray name255(255, 'n');
const QByteArray name256(256, 'n');
const QByteArray address511(511, 'a');
const QByteArray address512(512, 'a');
const QByteArray text5000(5000, 't');

#ifdef Q_OS_WIN
// Windows' default handler would end the process; none of the calls may reach it.
int invalidParameters = 0;
void countInvalidParameter(const wchar_t *, const wchar_t *, const wchar_t *, unsigned, uintptr_t)
{
    ++invalidParameters;
}
#endif

} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
#ifdef Q_OS_WIN
    void initTestCase()
    {
        _set_invalid_parameter_handler(countInvalidParameter);
    }
    void cleanup()
    {
        QCOMPARE(invalidParameters, 0);
    }
#endif
    void messageIdIsAFreshLowerCaseUuid();
    void scanToken_data();
    void scanToken();
    void copyText_data();
    void copyText();
    void formatText_data();
    void formatText();
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
    QTest::newRow("empty text") << QByteArray() << 256 << -1 << QByteArray("keep");
    QTest::newRow("255-byte name fits") << " " + name255 + " x" << 256 << 1 << name255;
    QTest::newRow("256-byte name") << name256 << 256 << 0 << QByteArray();
    QTest::newRow("5000-byte name") << text5000 << 256 << 0 << QByteArray();
}

void TestPlatform::scanToken()
{
    QFETCH(QByteArray, source);
    QFETCH(int, size);
    QFETCH(int, result);
    QFETCH(QByteArray, target);
    char buffer[256] = "keep";
    QCOMPARE(Platform::scanToken(source.constData(), buffer, size), result);
    QCOMPARE(QByteArray(buffer), target);
}

void TestPlatform::copyText_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<bool>("copied");

    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("white space") << QByteArray(" \t ") << true;
    QTest::newRow("511-byte remainder fits") << address511 << true;
    QTest::newRow("512-byte remainder") << address512 << false;
    QTest::newRow("5000-byte remainder") << text5000 << false;
}

void TestPlatform::copyText()
{
    QFETCH(QByteArray, source);
    QFETCH(bool, copied);
    char slot[512];
    std::memset(slot, 'x', sizeof slot);
    QCOMPARE(Platform::copyText(slot, sizeof slot, source.constData()), copied);
    QCOMPARE(QByteArray(slot), copied ? source : QByteArray());
}

void TestPlatform::formatText_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("fits") << 12 << 9 << QByteArray("[ab] <cd>");
    QTest::newRow("exactly") << 10 << 9 << QByteArray("[ab] <cd>");
    QTest::newRow("cut") << 9 << -1 << QByteArray("[ab] <cd");
    QTest::newRow("one byte") << 1 << -1 << QByteArray();
}

void TestPlatform::formatText()
{
    QFETCH(int, size);
    QFETCH(int, result);
    QFETCH(QByteArray, text);
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    QCOMPARE(Platform::formatText(buffer, size, "[%s] <%s>", "ab", "cd"), result);
    QCOMPARE(QByteArray(buffer), text);
    QCOMPARE(buffer[size], 'x'); // nothing written past the end
}

QTEST_APPLESS_MAIN(TestPlatform)
#include "tst_platform.moc"
