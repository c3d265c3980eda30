// The main window with a real QML engine and a back end that the test feeds:
// no discovery runs, so the test may run in any network namespace.

#include "backend.h"
#include "windowitems.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QQmlApplicationEngine>
#include <QSignalSpy>
#include <QStyleHints>
#include <QTest>

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
    sinceCreation.start();
    engine->load(QUrl(QStringLiteral("qrc:/FinderlyQml/Main.qml")));
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
    QVERIFY2(firstSearchMs >= 450 && firstSearchMs <= 900,
             qPrintable(QString::number(firstSearchMs)));
    QVERIFY2(enabledMs >= 2450 && enabledMs <= 3000, qPrintable(QString::number(enabledMs)));
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

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
