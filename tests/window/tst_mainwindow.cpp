// The main window with a real QML engine and a back end that the test feeds:
// no discovery runs, so the test may run in any network namespace.

#include "backend.h"
#include "windowitems.h"

#include <QAccessible>
#include <QClipboard>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QQmlApplicationEngine>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStyleHints>
#include <QTest>

#include <functional>
#include <memory>

using namespace WindowItems;

namespace {

const QString site = QStringLiteral("https://www.morvessa.example/");
const QString siteLink = QStringLiteral("<a href='%1'>%1</a>").arg(site);
// Text.StyledText of QML, which Qt::TextFormat lacks.
constexpr int styledText = 4;

// The schemes whose openings the test watches; the window may hand only the
// first two to the desktop.
const QStringList watchedSchemes = {QStringLiteral("http"), QStringLiteral("https"),
                                    QStringLiteral("file"), QStringLiteral("smb"),
                                    QStringLiteral("ftp"),  QStringLiteral("mailto"),
                                    QStringLiteral("qrc"),  QStringLiteral("javascript")};

} // namespace

// Stands in for the desktop's handler of links.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void firstSearchAndButton();
    void rescanEmptiesTableAndDisablesButton();
    void pendingPairsAppearInOneTick();
    void duplicatesStay();
    void addressIsLink();
    void nameIsEscaped_data();
    void nameIsEscaped();
    void addressIsEscaped_data();
    void addressIsEscaped();
    void clickBesideLinkOpensNothing();
    void onlyWebLinksOpen_data();
    void onlyWebLinksOpen();
    void pointerIsHandOverLinksOnly();
    void columnWidthsOnlyGrow();
    void footer();
    void statusLineStates_data();
    void statusLineStates();
    void headsSortAndFilterKeepsNewRowsInPlace();
    void keyboardWalk();
    void screenReaderTree();
    void devicesOutsideTheNetworksAreMarked();

private:
    // The window as the program creates it, its version set as main sets it.
    void createWindow();
    QQuickItem *rescanButton() const;
    QQuickItem *footerText() const;
    QQuickItem *cell(int row, int column) const;
    int rowCount() const { return tableModel(window)->rowCount(); }
    // Feeds the back end and waits for the next tick to show the rows.
    void addRows(const QList<QStringList> &pairs);
    void waitUntilRescanEnabled();
    // The point of item's text at the middle of its first character.
    static QPointF firstCharacter(QQuickItem *textItem);
    void click(QQuickItem *item, QPointF local);
    void hover(QQuickItem *item, QPointF local);
    // The target of the link under the pointer at local, as the item tracks it.
    QString linkUnderPointer(QQuickItem *textItem, QPointF local);
    // The pointer shape over a text item, as its MouseArea sets it.
    static Qt::CursorShape pointerShape(QQuickItem *textItem);
    static QString shownText(QQuickItem *textArea);
    // The markup of an address cell, from the window's own function.
    QString linkMarkup(const QString &address) const;
    QString status() const { return WindowItems::statusLine(window)->property("text").toString(); }
    // The rows as the table shows them, top to bottom.
    QList<QStringList> shownRows() const;
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    QQuickItem *focused() const { return window->activeFocusItem(); }

    UrlRecorder urls;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow *window = nullptr;
    BackEnd *backEnd = nullptr;
    QElapsedTimer sinceCreation;
};

void TestMainWindow::initTestCase()
{
    // As on a desktop (the offscreen platform has no hover effects), so that
    // the text items see where the pointer is.
    QGuiApplication::styleHints()->setUseHoverEffects(true);
    // As with a screen reader running: Qt Quick Controls name their items
    // for assistive technology only then.
    QAccessible::setActive(true);
    for (const QString &scheme : watchedSchemes)
        QDesktopServices::setUrlHandler(scheme, &urls, "open");
}

void TestMainWindow::cleanupTestCase()
{
    for (const QString &scheme : watchedSchemes)
        QDesktopServices::unsetUrlHandler(scheme);
}

void TestMainWindow::init()
{
    urls.opened.clear();
    createWindow();
}

void TestMainWindow::cleanup()
{
    engine.reset();
    window = nullptr;
    backEnd = nullptr;
}

void TestMainWindow::createWindow()
{
    engine = std::make_unique<QQmlApplicationEngine>();
    engine->load(QUrl(QStringLiteral("qrc:/FinderlyQml/Main.qml")));
    // The window's timer started as loading ended, which takes a while on a
    // busy machine.
    sinceCreation.start();
    QCOMPARE(engine->rootObjects().size(), 1);
    window = qobject_cast<QQuickWindow *>(engine->rootObjects().first());
    QVERIFY(window);
    QVERIFY(backEndInstance);
    backEnd = backEndInstance;
    // The window owns its back end.
    QObject *owner = backEnd->parent();
    while (owner && owner != window)
        owner = owner->parent();
    QCOMPARE(owner, window);
    backEnd->setAppVersion(QStringLiteral("1.0.0"));
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY(tableModel(window));
}

QQuickItem *TestMainWindow::rescanButton() const
{
    return WindowItems::rescanButton(window);
}

QQuickItem *TestMainWindow::footerText() const
{
    return find(rootItem(window), "QQuickText", [](QQuickItem *item) {
        return item->property("text").toString().contains(QLatin1String("Finderly"));
    });
}

QQuickItem *TestMainWindow::cell(int row, int column) const
{
    QQuickItem *item = nullptr;
    QMetaObject::invokeMethod(tableView(window), "itemAtCell", Q_RETURN_ARG(QQuickItem *, item),
                              Q_ARG(QPoint, QPoint(column, row)));
    return item;
}

void TestMainWindow::addRows(const QList<QStringList> &pairs)
{
    const int expected = rowCount() + int(pairs.size());
    for (const QStringList &pair : pairs)
        backEnd->addDevice(pair.at(0), pair.at(1));
    QTRY_COMPARE_WITH_TIMEOUT(rowCount(), expected, 2000);
    // The table lays out its new cells in the frame after the tick.
    QTRY_VERIFY(cell(expected - 1, 1));
}

void TestMainWindow::waitUntilRescanEnabled()
{
    QTRY_VERIFY_WITH_TIMEOUT(rescanButton()->isEnabled(), 5000);
}

QPointF TestMainWindow::firstCharacter(QQuickItem *textItem)
{
    QRectF first;
    QMetaObject::invokeMethod(textItem, "positionToRectangle", Q_RETURN_ARG(QRectF, first),
                              Q_ARG(int, 0));
    return first.center() + QPointF(2, 0);
}

void TestMainWindow::click(QQuickItem *item, QPointF local)
{
    QTest::mouseClick(window, Qt::LeftButton, {}, item->mapToScene(local).toPoint());
}

void TestMainWindow::hover(QQuickItem *item, QPointF local)
{
    // From elsewhere first: a move to where the pointer already is is dropped.
    QTest::mouseMove(window, QPoint(1, 1));
    QTest::mouseMove(window, item->mapToScene(local).toPoint());
}

QString TestMainWindow::linkUnderPointer(QQuickItem *textItem, QPointF local)
{
    hover(textItem, local);
    return textItem->property("hoveredLink").toString();
}

Qt::CursorShape TestMainWindow::pointerShape(QQuickItem *textItem)
{
    return Qt::CursorShape(find(textItem, "QQuickMouseArea")->property("cursorShape").toInt());
}

QString TestMainWindow::shownText(QQuickItem *textArea)
{
    QString text;
    QMetaObject::invokeMethod(textArea, "getText", Q_RETURN_ARG(QString, text), Q_ARG(int, 0),
                              Q_ARG(int, textArea->property("length").toInt()));
    return text;
}

QString TestMainWindow::linkMarkup(const QString &address) const
{
    QVariant markup;
    QMetaObject::invokeMethod(window, "linkMarkup", Q_RETURN_ARG(QVariant, markup),
                              Q_ARG(QVariant, address));
    return markup.toString();
}

void TestMainWindow::firstSearchAndButton()
{
    QSignalSpy searches(backEnd, &BackEnd::btnRescan);
    qint64 firstSearchMs = -1;
    qint64 enabledMs = -1;
    connect(backEnd, &BackEnd::btnRescan, this, [&] {
        if (firstSearchMs < 0)
            firstSearchMs = sinceCreation.elapsed();
    });
    QQuickItem *button = rescanButton();
    QVERIFY(button);
    QVERIFY(!button->isEnabled());
    connect(button, &QQuickItem::enabledChanged, this,
            [&] { enabledMs = sinceCreation.elapsed(); });

    QTRY_VERIFY_WITH_TIMEOUT(enabledMs >= 0, 5000);
    QCOMPARE(searches.size(), 1);
    QVERIFY2(firstSearchMs >= 400 && firstSearchMs <= 900,
             qPrintable(QString::number(firstSearchMs)));
    QVERIFY2(enabledMs >= 2400 && enabledMs <= 3000, qPrintable(QString::number(enabledMs)));
    QVERIFY(button->isEnabled());
    // Nothing but the first tick and the button search.
    QTest::qWait(1200);
    QCOMPARE(searches.size(), 1);
}

void TestMainWindow::rescanEmptiesTableAndDisablesButton()
{
    waitUntilRescanEnabled();
    addRows({{QStringLiteral("Front Door"), QStringLiteral("http://192.0.2.20")},
             {QStringLiteral("Living Room"), QStringLiteral("http://192.0.2.10:49152/desc.xml")}});
    QSignalSpy searches(backEnd, &BackEnd::btnRescan);
    QQuickItem *button = rescanButton();
    qint64 clickedMs = -1;
    qint64 enabledMs = -1;
    // A record that comes in while the new search starts lands in the new table.
    connect(backEnd, &BackEnd::btnRescan, this, [&] {
        clickedMs = sinceCreation.elapsed();
        backEnd->addDevice(QStringLiteral("Parking Lot"), QStringLiteral("http://192.0.2.21"));
    });
    connect(button, &QQuickItem::enabledChanged, this, [&] {
        if (button->isEnabled())
            enabledMs = sinceCreation.elapsed();
    });

    click(button, QPointF(button->width() / 2, button->height() / 2));
    QCOMPARE(searches.size(), 1);
    QCOMPARE(rowCount(), 0);
    QVERIFY(!button->isEnabled());

    QTRY_COMPARE_WITH_TIMEOUT(rowCount(), 1, 1000);
    QCOMPARE(row(tableModel(window), 0),
             QStringList({QStringLiteral("Parking Lot"), QStringLiteral("http://192.0.2.21")}));
    QTRY_VERIFY_WITH_TIMEOUT(enabledMs >= 0, 4000);
    const qint64 disabledMs = enabledMs - clickedMs;
    QVERIFY2(disabledMs >= 1950 && disabledMs <= 2600, qPrintable(QString::number(disabledMs)));
}

void TestMainWindow::pendingPairsAppearInOneTick()
{
    QList<qint64> insertedMs;
    connect(tableModel(window), &QAbstractItemModel::rowsInserted, this,
            [&] { insertedMs.append(sinceCreation.elapsed()); });
    QList<QStringList> pairs;
    for (char name = 'A'; name <= 'E'; ++name) {
        pairs.append({QStringLiteral("Device %1").arg(name),
                      QStringLiteral("http://192.0.2.%1").arg(int(name))});
    }
    addRows(pairs);

    QCOMPARE(insertedMs.size(), 5);
    // Ticks are 500 ms apart: all five came in one.
    QVERIFY2(insertedMs.last() - insertedMs.first() < 100,
             qPrintable(QString::number(insertedMs.last() - insertedMs.first())));
    for (int i = 0; i < 5; ++i)
        QCOMPARE(row(tableModel(window), i), pairs.at(i));
    QCOMPARE(backEnd->getDevice(), QStringList());
}

void TestMainWindow::duplicatesStay()
{
    const QStringList pair = {QStringLiteral("Front Door"), QStringLiteral("http://192.0.2.20")};
    addRows({pair, pair});
    addRows({pair});
    QCOMPARE(rowCount(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(row(tableModel(window), i), pair);
}

void TestMainWindow::addressIsLink()
{
    const QString address = QStringLiteral("http://192.0.2.20:8080");
    addRows({{QStringLiteral("Front Door"), address}});

    QCOMPARE(linkMarkup(address), QStringLiteral("<a href='%1'>%1</a>").arg(address));

    QQuickItem *name = cell(0, 0);
    QQuickItem *link = cell(0, 1);
    QCOMPARE(name->property("textFormat").toInt(), int(Qt::RichText));
    QCOMPARE(shownText(name), QStringLiteral("Front Door"));
    QCOMPARE(shownText(link), address);
    QCOMPARE(linkUnderPointer(link, firstCharacter(link)), address);
    QCOMPARE(linkUnderPointer(name, firstCharacter(name)), QString());

    click(link, firstCharacter(link));
    QCOMPARE(urls.opened, QList<QUrl>({QUrl(address)}));
}

void TestMainWindow::nameIsEscaped_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << QStringLiteral("Front Door") << QStringLiteral("Front Door");
    QTest::newRow("markup") << QStringLiteral("<b>Bold</b> <i>cam</i>")
                            << QStringLiteral("<b>Bold</b> <i>cam</i>");
    QTest::newRow("image") << QStringLiteral("<img src='http://203.0.113.9/track.png'>Cam")
                           << QStringLiteral("<img src='http://203.0.113.9/track.png'>Cam");
    QTest::newRow("link") << QStringLiteral("<a href='http://203.0.113.9/'>Bank</a>")
                          << QStringLiteral("<a href='http://203.0.113.9/'>Bank</a>");
    QTest::newRow("entity") << QStringLiteral("A &amp; B") << QStringLiteral("A & B");
    QTest::newRow("entity for a bracket")
        << QStringLiteral("&lt;Hall&gt;") << QStringLiteral("<Hall>");
    QTest::newRow("unicode") << QString::fromUtf8("Kamera M\xc3\xbcller \xe6\x9d\xb1\xe4\xba\xac")
                             << QString::fromUtf8("Kamera M\xc3\xbcller \xe6\x9d\xb1\xe4\xba\xac");
}

void TestMainWindow::nameIsEscaped()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    addRows({{name, QStringLiteral("http://192.0.2.20")}});
    QQuickItem *nameCell = cell(0, 0);
    QCOMPARE(shownText(nameCell), shown);
    QCOMPARE(nameCell->property("hoveredLink").toString(), QString());
    click(nameCell, firstCharacter(nameCell));
    QCOMPARE(urls.opened, QList<QUrl>());
}

void TestMainWindow::addressIsEscaped_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("query") << QStringLiteral("http://198.51.100.7/desc.xml?a=1&b=2")
                           << QStringLiteral("http://198.51.100.7/desc.xml?a=1&amp;b=2");
    QTest::newRow("quotes") << QStringLiteral("http://198.51.100.7/'x'\"y\"")
                            << QStringLiteral("http://198.51.100.7/&#39;x&#39;&quot;y&quot;");
    QTest::newRow("markup")
        << QStringLiteral("http://198.51.100.7/'><img src='http://203.0.113.9/x.png'>")
        << QStringLiteral("http://198.51.100.7/&#39;&gt;&lt;img src=&#39;http://203.0.113.9/"
                          "x.png&#39;&gt;");
    QTest::newRow("entity") << QStringLiteral("http://198.51.100.7/a&amp;b")
                            << QStringLiteral("http://198.51.100.7/a&amp;amp;b");
}

void TestMainWindow::addressIsEscaped()
{
    QFETCH(QString, address);
    QFETCH(QString, escaped);
    QCOMPARE(linkMarkup(address), QStringLiteral("<a href='%1'>%1</a>").arg(escaped));

    addRows({{QStringLiteral("Camera"), address}});
    QQuickItem *link = cell(0, 1);
    QCOMPARE(shownText(link), address);
    QVERIFY(!linkUnderPointer(link, firstCharacter(link)).isEmpty());
    click(link, firstCharacter(link));
    QCOMPARE(urls.opened, QList<QUrl>({QUrl(address)}));
}

void TestMainWindow::clickBesideLinkOpensNothing()
{
    addRows({{QStringLiteral("Front Door"), QStringLiteral("http://192.0.2.20")}});
    QQuickItem *link = cell(0, 1);
    const qreal textEnd =
        link->property("leftPadding").toReal() + link->property("contentWidth").toReal();
    QVERIFY(link->width() > textEnd + 20);
    click(link, QPointF(textEnd + 10, link->height() / 2));
    click(link, QPointF(link->width() - 3, link->height() / 2));
    click(link, QPointF(firstCharacter(link).x(), 3));
    QCOMPARE(urls.opened, QList<QUrl>());
    click(link, firstCharacter(link));
    QCOMPARE(urls.opened, QList<QUrl>({QUrl(QStringLiteral("http://192.0.2.20"))}));
}

void TestMainWindow::onlyWebLinksOpen_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("opens");
    QTest::newRow("http") << QStringLiteral("http://192.0.2.20") << true;
    QTest::newRow("https") << QStringLiteral("https://192.0.2.20:8443") << true;
    QTest::newRow("upper-case scheme") << QStringLiteral("HTTP://192.0.2.20/") << true;
    QTest::newRow("file") << QStringLiteral("file:///etc/passwd") << false;
    QTest::newRow("share") << QStringLiteral("smb://192.0.2.20/share") << false;
    QTest::newRow("ftp") << QStringLiteral("ftp://192.0.2.20/") << false;
    QTest::newRow("mail") << QStringLiteral("mailto:someone@192.0.2.20") << false;
    QTest::newRow("script") << QStringLiteral("javascript:alert(1)") << false;
    QTest::newRow("relative") << QStringLiteral("//192.0.2.20/share") << false;
    QTest::newRow("no scheme") << QStringLiteral("192.0.2.20") << false;
    QTest::newRow("leading space") << QStringLiteral(" file:///etc/passwd") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("origin of nothing") << QStringLiteral("://") << false;
}

void TestMainWindow::onlyWebLinksOpen()
{
    QFETCH(QString, address);
    QFETCH(bool, opens);
    // What openLink would hand to the desktop, also for addresses that show
    // no clickable text.
    QMetaObject::invokeMethod(window, "openLink", Q_ARG(QVariant, address));
    QCOMPARE(urls.opened.size(), opens ? 1 : 0);
    if (address.isEmpty())
        return;
    urls.opened.clear();
    addRows({{QStringLiteral("Device"), address}});
    QQuickItem *link = cell(0, 1);
    click(link, firstCharacter(link));
    QCOMPARE(urls.opened.size(), opens ? 1 : 0);
    if (opens)
        QCOMPARE(urls.opened.first(), QUrl(address));
}

void TestMainWindow::pointerIsHandOverLinksOnly()
{
    addRows({{QStringLiteral("Front Door"), QStringLiteral("http://192.0.2.20")}});
    QQuickItem *name = cell(0, 0);
    QQuickItem *link = cell(0, 1);
    hover(link, firstCharacter(link));
    QCOMPARE(pointerShape(link), Qt::PointingHandCursor);
    hover(link, QPointF(link->width() - 3, link->height() / 2));
    QCOMPARE(pointerShape(link), Qt::ArrowCursor);
    hover(name, firstCharacter(name));
    QCOMPARE(pointerShape(name), Qt::ArrowCursor);

    QTRY_VERIFY(footerText()->property("text").toString().contains(QLatin1String("1.0.0")));
    QQuickItem *footer = footerText();
    hover(footer, QPointF(4, footer->height() / 2));
    QCOMPARE(pointerShape(footer), Qt::ArrowCursor);
    qreal x = 0;
    QString target;
    for (; x < footer->width() && target.isEmpty(); x += 2) {
        QMetaObject::invokeMethod(footer, "linkAt", Q_RETURN_ARG(QString, target), Q_ARG(qreal, x),
                                  Q_ARG(qreal, footer->height() / 2));
    }
    QCOMPARE(target, site);
    const QPointF onFooterLink(x + 4, footer->height() / 2);
    hover(footer, onFooterLink);
    QCOMPARE(pointerShape(footer), Qt::PointingHandCursor);
    click(footer, onFooterLink);
    QCOMPARE(urls.opened, QList<QUrl>({QUrl(site)}));
}

void TestMainWindow::columnWidthsOnlyGrow()
{
    const QString shortName = QStringLiteral("Cam");
    const QString shortAddress = QStringLiteral("http://192.0.2.20");
    addRows({{shortName, shortAddress}});
    QCOMPARE(cell(0, 0)->implicitWidth(), 232.0);
    QCOMPARE(cell(0, 1)->implicitWidth(), 332.0);

    const QString longName = QStringLiteral("Warehouse loading dock, north gate, camera 17 of 20");
    const QString longAddress =
        QStringLiteral("http://198.51.100.77:49152/upnp/devices/description/rootDesc-0001.xml");
    addRows({{longName, longAddress}, {shortName, shortAddress}});
    const qreal nameWidth = cell(1, 0)->implicitWidth();
    const qreal addressWidth = cell(1, 1)->implicitWidth();
    QVERIFY(nameWidth > 232);
    QVERIFY(addressWidth > 332);
    // The widest width is kept in whole pixels.
    QCOMPARE(cell(1, 0)->implicitWidth(), int(cell(1, 0)->property("contentWidth").toReal()) + 32);
    QCOMPARE(cell(2, 0)->implicitWidth(), nameWidth);
    QCOMPARE(cell(2, 1)->implicitWidth(), addressWidth);

    // Rescan keeps the widths.
    waitUntilRescanEnabled();
    QQuickItem *button = rescanButton();
    click(button, QPointF(button->width() / 2, button->height() / 2));
    QCOMPARE(rowCount(), 0);
    addRows({{QStringLiteral("Hall"), QStringLiteral("http://192.0.2.9")}});
    QCOMPARE(cell(0, 0)->implicitWidth(), nameWidth);
    QCOMPARE(cell(0, 1)->implicitWidth(), addressWidth);
    QTRY_COMPARE(tableView(window)->property("contentWidth").toReal() >= nameWidth + addressWidth,
                 true);
}

void TestMainWindow::footer()
{
    QQuickItem *footer = footerText();
    QVERIFY(footer);
    QVERIFY(sinceCreation.elapsed() < 450);
    QCOMPARE(footer->property("text").toString(),
             QStringLiteral("&nbsp; Finderly  &nbsp; ") + siteLink);
    QCOMPARE(footer->property("textFormat").toInt(), styledText);
    QCOMPARE(footer->height(), 30.0);

    QSignalSpy searches(backEnd, &BackEnd::btnRescan);
    QVERIFY(searches.wait(1000));
    QCOMPARE(footer->property("text").toString(),
             QStringLiteral("&nbsp; Finderly 1.0.0 &nbsp; ") + siteLink);
    // Read once: a later version does not reach the footer.
    backEnd->setAppVersion(QStringLiteral("2.0.0"));
    QTest::qWait(600);
    QCOMPARE(footer->property("text").toString(),
             QStringLiteral("&nbsp; Finderly 1.0.0 &nbsp; ") + siteLink);
}

QList<QStringList> TestMainWindow::shownRows() const
{
    QList<QStringList> rows;
    for (int i = 0; i < rowCount(); ++i)
        rows.append(row(tableModel(window), i));
    return rows;
}

void TestMainWindow::key(int key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(window, Qt::Key(key), modifiers);
}

void TestMainWindow::statusLineStates_data()
{
    QTest::addColumn<QStringList>("networks");
    QTest::addColumn<bool>("ended");
    QTest::addColumn<int>("devices");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("expected"); // %1: the time the search ended
    const QStringList two = {QStringLiteral("192.0.2.0/24"), QStringLiteral("198.51.100.0/24")};
    const QStringList one = {QStringLiteral("192.0.2.0/24")};
    QTest::newRow("searching") << two << false << 7 << QString()
                               << QString::fromUtf8("Searching 2 networks\u2026 7 devices");
    QTest::newRow("searching, one of each")
        << one << false << 1 << QString()
        << QString::fromUtf8("Searching 1 network\u2026 1 device");
    QTest::newRow("ended") << two << true << 12 << QString()
                           << QString::fromUtf8("12 devices on 2 networks \u00b7 %1");
    QTest::newRow("ended, filtered")
        << two << true << 12 << QStringLiteral("CAM 1")
        << QString::fromUtf8("4 of 12 devices on 2 networks \u00b7 %1");
    QTest::newRow("ended with none")
        << two << true << 0 << QString()
        << QStringLiteral("No device answered on 2 networks (192.0.2.0/24, 198.51.100.0/24). "
                          "A firewall may be blocking the answers.");
    QTest::newRow("no network")
        << QStringList() << false << 0 << QString()
        << QStringLiteral("No IPv4 network. Connect to the device network, then press Rescan.");
}

void TestMainWindow::statusLineStates()
{
    QFETCH(QStringList, networks);
    QFETCH(bool, ended);
    QFETCH(int, devices);
    QFETCH(QString, filter);
    QFETCH(QString, expected);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    static QStringList announced;
    announced.clear();
    QAccessible::installUpdateHandler([](QAccessibleEvent *event) {
        if (event->type() == QAccessible::Announcement)
            announced.append(static_cast<QAccessibleAnnouncementEvent *>(event)->message());
    });
#endif
    // The window's first search comes to nothing here: nothing is wired.
    QSignalSpy searches(backEnd, &BackEnd::btnRescan);
    QVERIFY(searches.wait(1000));
    QCOMPARE(status(), QString());
    backEnd->beginSearch(networks);
    for (int i = 1; i <= devices; ++i)
        backEnd->addDevice(QStringLiteral("Cam %1").arg(i),
                           QStringLiteral("http://192.0.2.%1").arg(i));
    QTRY_COMPARE_WITH_TIMEOUT(rowCount(), devices, 1000);
    filterField(window)->setProperty("text", filter);
    // Hours and minutes as the locale writes them.
    const auto now = [] {
        const QString hourAndMinute = QLocale()
                                          .timeFormat(QLocale::ShortFormat)
                                          .remove(QRegularExpression(QStringLiteral("[:.]ss")));
        return QLocale().toString(QTime::currentTime(), hourAndMinute);
    };
    const QString before = now();
    if (ended)
        backEnd->endSearch();
    const auto at = [&expected](const QString &time) {
        return expected.contains(QLatin1String("%1")) ? expected.arg(time) : expected;
    };
    QTRY_VERIFY_WITH_TIMEOUT(status() == at(before) || status() == at(now()), 1000);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    // Screen readers are told when the search has ended, once.
    QTRY_COMPARE(announced, ended || networks.isEmpty() ? QStringList{status()} : QStringList());
    QAccessible::installUpdateHandler(nullptr);
#endif
    // A screen reader reads the same.
    QAccessibleInterface *line =
        QAccessible::queryAccessibleInterface(WindowItems::statusLine(window));
    QCOMPARE(line->role(), QAccessible::StaticText);
    QCOMPARE(line->text(QAccessible::Name), status());
}

void TestMainWindow::headsSortAndFilterKeepsNewRowsInPlace()
{
    const QStringList cam10 = {QStringLiteral("cam 10"), QStringLiteral("http://192.0.2.10")};
    const QStringList cam9 = {QStringLiteral("Cam 9"), QStringLiteral("http://192.0.2.9")};
    const QStringList door = {QStringLiteral("Door"), QStringLiteral("http://198.51.100.2")};
    const QStringList amp = {QStringLiteral("B &amp; C"), QStringLiteral("http://192.0.2.77")};
    addRows({cam10, door, cam9});
    QCOMPARE(shownRows(), (QList<QStringList>{cam10, door, cam9})); // as they came
    // The heads are made anew as the rows move.
    const auto clickHead = [this](int column) {
        QQuickItem *head = columnHead(window, column);
        click(head, QPointF(20, head->height() / 2));
    };
    const auto headText = [this](int column) {
        return find(columnHead(window, column), "QQuickLabel")->property("text").toString();
    };
    QCOMPARE(headText(0), QStringLiteral("Name"));
    QCOMPARE(headText(1), QStringLiteral("Address"));

    // Numbers in names and addresses by their value, letters in any case.
    clickHead(0);
    QCOMPARE(shownRows(), (QList<QStringList>{cam9, cam10, door}));
    QCOMPARE(headText(0), QStringLiteral("Name  \u25B2"));
    QCOMPARE(headText(1), QStringLiteral("Address"));
    addRows({amp}); // "B & C" as shown
    QCOMPARE(shownRows(), (QList<QStringList>{amp, cam9, cam10, door}));
    clickHead(0);
    QCOMPARE(shownRows(), (QList<QStringList>{door, cam10, cam9, amp}));
    QCOMPARE(headText(0), QStringLiteral("Name  \u25BC"));
    clickHead(1);
    QCOMPARE(shownRows(), (QList<QStringList>{cam9, cam10, amp, door}));

    // The filter matches names and addresses as shown, in any case; Escape clears it.
    key(Qt::Key_F, Qt::ControlModifier);
    QQuickItem *filter = filterField(window);
    QCOMPARE(focused(), filter);
    QTest::keyClick(window, Qt::Key_C);
    QTest::keyClick(window, Qt::Key_A, Qt::ShiftModifier);
    QTest::keyClick(window, Qt::Key_M);
    QCOMPARE(shownRows(), (QList<QStringList>{cam9, cam10}));
    filter->setProperty("text", QStringLiteral("b & c"));
    QCOMPARE(shownRows(), QList<QStringList>{amp});
    filter->setProperty("text", QStringLiteral("198.51"));
    QCOMPARE(shownRows(), QList<QStringList>{door});
    key(Qt::Key_Escape);
    QCOMPARE(filter->property("text").toString(), QString());
    QCOMPARE(rowCount(), 4);
}

void TestMainWindow::keyboardWalk()
{
    const QStringList cam = {QStringLiteral("Cam"), QStringLiteral("http://192.0.2.20")};
    const QStringList share = {QStringLiteral("Share"), QStringLiteral("smb://192.0.2.21/")};
    const QStringList door = {QStringLiteral("Door"), QStringLiteral("https://192.0.2.22:8443")};
    waitUntilRescanEnabled();
    addRows({cam, share, door});
    QQuickItem *table = tableView(window);
    QQuickItem *footer = footerText();
    const auto currentRow = [table] {
        return table->property("currentDeviceRow").toInt();
    };
    const QList<QQuickItem *> tabOrder = {rescanButton(), filterField(window), table, footer};
    // Tab and Shift+Tab follow the screen, also after a sort.
    for (int round = 0; round < 2; ++round) {
        rescanButton()->forceActiveFocus();
        for (int i = 1; i <= 4; ++i) {
            key(Qt::Key_Tab);
            QCOMPARE(focused(), tabOrder.at(i % 4));
        }
        key(Qt::Key_Backtab);
        QCOMPARE(focused(), footer);
        QMetaObject::invokeMethod(tableModel(window), "sortBy", Q_ARG(int, 1));
    }

    // The table took the keyboard with its first row current, and that row
    // kept its device through the sorts.
    table->forceActiveFocus();
    QCOMPARE(row(tableModel(window), currentRow()), cam);
    key(Qt::Key_End);
    QCOMPARE(currentRow(), 2);
    key(Qt::Key_Down);
    QCOMPARE(currentRow(), 2);
    key(Qt::Key_Home);
    key(Qt::Key_PageDown);
    QCOMPARE(currentRow(), 2);
    key(Qt::Key_Up);
    QCOMPARE(currentRow(), 1);

    // Enter opens web pages only, as a click does; Ctrl+C copies the address.
    for (int i = 0; i < 3; ++i) {
        key(Qt::Key_Home);
        for (int down = 0; down < i; ++down)
            key(Qt::Key_Down);
        urls.opened.clear();
        key(i == 1 ? Qt::Key_Enter : Qt::Key_Return);
        const QString address = row(tableModel(window), i).at(1);
        const bool web = address.startsWith(QLatin1String("http"));
        QCOMPARE(urls.opened, web ? QList<QUrl>{QUrl(address)} : QList<QUrl>());
        key(Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), address);
    }
    key(Qt::Key_Home);

    // The context menu, from the keyboard: Open, Copy address, Copy name.
    key(Qt::Key_F10, Qt::ShiftModifier);
    QQuickItem *copyName = nullptr;
    QTRY_VERIFY((copyName = find(rootItem(window), "QQuickMenuItem", [](QQuickItem *item) {
                     return item->isVisible() && item->property("text") == "Copy name";
                 })));
    for (int down = 0; down < 4 && !copyName->property("highlighted").toBool(); ++down)
        key(Qt::Key_Down);
    QVERIFY(copyName->property("highlighted").toBool());
    key(Qt::Key_Return);
    QCOMPARE(QGuiApplication::clipboard()->text(), row(tableModel(window), 0).at(0));
    QTRY_COMPARE(focused(), table);

    // Enter on the footer opens the site; Enter, F5 and Ctrl+R start a search
    // while Rescan is enabled, which keeps the keyboard in the table.
    footer->forceActiveFocus();
    key(Qt::Key_Return);
    QCOMPARE(urls.opened.last(), QUrl(site));
    QSignalSpy searches(backEnd, &BackEnd::btnRescan);
    rescanButton()->forceActiveFocus();
    key(Qt::Key_Return);
    QCOMPARE(searches.size(), 1);
    QCOMPARE(focused(), table);
    QCOMPARE(rowCount(), 0);
    key(Qt::Key_F5);
    QCOMPARE(searches.size(), 1);
    waitUntilRescanEnabled();
    key(Qt::Key_F5);
    waitUntilRescanEnabled();
    key(Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(searches.size(), 3);
    addRows({cam});

    // Text selected with the mouse is what Ctrl+C copies, until the row changes.
    QQuickItem *name = cell(0, 0);
    const QPoint from = name->mapToScene(firstCharacter(name)).toPoint();
    QTest::mousePress(window, Qt::LeftButton, {}, from);
    QTest::mouseMove(window, from + QPoint(16, 0));
    QTest::mouseRelease(window, Qt::LeftButton, {}, from + QPoint(16, 0));
    const QString selected = name->property("selectedText").toString();
    QVERIFY(!selected.isEmpty() && cam.at(0).startsWith(selected));
    QCOMPARE(focused(), table);
    key(Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), selected);
    key(Qt::Key_Home);
    key(Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), cam.at(1));

    waitUntilRescanEnabled();
    rescanButton()->forceActiveFocus();
    key(Qt::Key_Tab);
    key(Qt::Key_Tab);
    QCOMPARE(focused(), table);
    QCOMPARE(currentRow(), 0);
}

void TestMainWindow::screenReaderTree()
{
    const QStringList cam = {QStringLiteral("Cam &amp; Mic"), QStringLiteral("http://192.0.2.20")};
    const QStringList door = {QStringLiteral("Door"), QStringLiteral("http://192.0.2.21")};
    waitUntilRescanEnabled();
    backEnd->beginSearch({QStringLiteral("192.0.2.0/24")});
    addRows({door, cam});
    QTRY_VERIFY(status().startsWith(QLatin1String("Searching")));
    QAccessibleInterface *root = QAccessible::queryAccessibleInterface(window);
    QList<QAccessibleInterface *> found;
    std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
        found.append(node);
        if (node->role() != QAccessible::Table) { // its children are the cells
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i));
        }
    };
    walk(root);
    const auto named = [&](QAccessible::Role role, const QString &name) -> QAccessibleInterface * {
        for (QAccessibleInterface *node : std::as_const(found)) {
            if (node->role() == role && (name.isNull() || node->text(QAccessible::Name) == name))
                return node;
        }
        return nullptr;
    };
    QVERIFY(named(QAccessible::StaticText, status()));
    QAccessibleInterface *footer =
        named(QAccessible::Link, QStringLiteral("Finderly 1.0.0, ") + site);
    QVERIFY(footer);
    QAccessibleInterface *filter = named(QAccessible::EditableText, QStringLiteral("Filter"));
    QVERIFY(filter);

    // The table: its row count, and its cells row by row as on screen.
    QAccessibleInterface *table = named(QAccessible::Table, QStringLiteral("Devices"));
    QVERIFY(table);
    QCOMPARE(table->parent(), root);
    // As on screen: the tool bar, the table, the footer.
    QVERIFY(found.indexOf(filter) < found.indexOf(table));
    QVERIFY(found.indexOf(table) < found.indexOf(footer));
    const auto cells = [table] {
        QStringList names;
        for (int i = 0; i < table->childCount(); ++i)
            names.append(table->child(i)->text(QAccessible::Name));
        return names;
    };
    QCOMPARE(table->tableInterface()->rowCount(), 2);
    QCOMPARE(table->tableInterface()->columnDescription(1), QStringLiteral("Address"));
    QCOMPARE(cells(), (QStringList{"Door", door.at(1), "Cam & Mic", cam.at(1)}));
    QMetaObject::invokeMethod(tableModel(window), "sortBy", Q_ARG(int, 0));
    QCOMPARE(cells(), (QStringList{"Cam & Mic", cam.at(1), "Door", door.at(1)}));
    QAccessibleInterface *link = table->child(1);
    QCOMPARE(link->role(), QAccessible::Link);
    QCOMPARE(table->indexOfChild(link), 1);
    QCOMPARE(link->tableCellInterface()->rowIndex(), 0);
    QVERIFY(
        link->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(urls.opened, QList<QUrl>{QUrl(cam.at(1))});
    QCOMPARE(table->child(0)->role(), QAccessible::Cell);
    table->child(2)->actionInterface()->doAction(QAccessibleActionInterface::setFocusAction());
    QCOMPARE(focused(), tableView(window));
    QCOMPARE(table->focusChild()->text(QAccessible::Name), QStringLiteral("Door"));
    QVERIFY(table->child(3)->state().selected);

    // Rescan's press action searches as a click does; the cells go with the rows.
    QSignalSpy searches(backEnd, &BackEnd::btnRescan);
    named(QAccessible::Button, QStringLiteral("Rescan"))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(searches.size(), 1);
    QCOMPARE(table->childCount(), 0);
    addRows({door});
    QCOMPARE(cells(), (QStringList{"Door", door.at(1)}));
}

void TestMainWindow::devicesOutsideTheNetworksAreMarked()
{
    backEnd->beginSearch({QStringLiteral("192.0.2.0/24")});
    const QString note = QStringLiteral("Not on this computer's networks (192.0.2.0/24)");
    addRows({{QStringLiteral("Home"), QStringLiteral("http://192.0.2.20")},
             {QStringLiteral("Factory default"), QStringLiteral("http://192.168.0.90:49152/d.xml")},
             {QStringLiteral("By name"), QStringLiteral("http://camera.local")}});
    const auto mark = [this](int row) {
        return find(cell(row, 1), "QQuickLabel", [](QQuickItem *item) {
            return item->property("text").toString() == QString(u'\u26A0');
        });
    };
    QTRY_VERIFY(mark(1)->isVisible());
    QVERIFY(!mark(0)->isVisible());
    QVERIFY(!mark(2)->isVisible());
    QCOMPARE(cell(1, 1)->property("toolTip").toString(), note);
    QAccessibleInterface *table = QAccessible::queryAccessibleInterface(tableView(window));
    QCOMPARE(table->child(3)->text(QAccessible::Description), note);
    QCOMPARE(table->child(2)->text(QAccessible::Description), note);
    QCOMPARE(table->child(1)->text(QAccessible::Description), QString());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
