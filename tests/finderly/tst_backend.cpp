// BackEnd: the device queue, the properties and signals that the window uses,
// and the meta-object contract that QML sees.

#include "backend.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <memory>
#include <vector>

class TestBackEnd : public QObject
{
    Q_OBJECT

private slots:
    void emptyQueueGivesAnEmptyList();
    void devicesComeOutInArrivalOrder();
    void sameDeviceTwiceIsQueuedTwice();
    void producersInOtherThreadsKeepPairsTogether();
    void userName();
    void appVersionHasNoSignal();
    void onBtnRescanEmitsBtnRescan();
    void latestBackEndIsTheInstance();
    void metaObjectContract();
};

void TestBackEnd::emptyQueueGivesAnEmptyList()
{
    BackEnd backEnd;
    QCOMPARE(backEnd.getDevice().size(), 0);
    QCOMPARE(backEnd.getDevice().size(), 0);
}

void TestBackEnd::devicesComeOutInArrivalOrder()
{
    BackEnd backEnd;
    backEnd.addDevice(QStringLiteral("A"), QStringLiteral("http://192.0.2.20"));
    backEnd.addDevice(QStringLiteral("B"), QStringLiteral("http://192.0.2.21:8080"));
    QCOMPARE(backEnd.getDevice(), (QStringList{"A", "http://192.0.2.20"}));
    backEnd.addDevice(QStringLiteral("C"), QStringLiteral("http://192.0.2.22/desc.xml"));
    QCOMPARE(backEnd.getDevice(), (QStringList{"B", "http://192.0.2.21:8080"}));
    QCOMPARE(backEnd.getDevice(), (QStringList{"C", "http://192.0.2.22/desc.xml"}));
    QCOMPARE(backEnd.getDevice(), QStringList{});
}

void TestBackEnd::sameDeviceTwiceIsQueuedTwice()
{
    BackEnd backEnd;
    backEnd.addDevice(QStringLiteral("Cam"), QStringLiteral("http://192.0.2.20"));
    backEnd.addDevice(QStringLiteral("Cam"), QStringLiteral("http://192.0.2.20"));
    backEnd.addDevice(QString(), QString()); // empty pairs are queued too
    QCOMPARE(backEnd.getDevice(), (QStringList{"Cam", "http://192.0.2.20"}));
    QCOMPARE(backEnd.getDevice(), (QStringList{"Cam", "http://192.0.2.20"}));
    QCOMPARE(backEnd.getDevice(), (QStringList{"", ""}));
    QCOMPARE(backEnd.getDevice(), QStringList{});
}

void TestBackEnd::producersInOtherThreadsKeepPairsTogether()
{
    BackEnd backEnd;
    constexpr int producers = 4;
    constexpr int perProducer = 5000;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int p = 0; p < producers; ++p) {
        threads.emplace_back(QThread::create([&backEnd, p] {
            for (int i = 0; i < perProducer; ++i) {
                const QString id = QStringLiteral("%1-%2").arg(p).arg(i);
                backEnd.addDevice(id, QStringLiteral("http://192.0.2.20/") + id);
            }
        }));
        threads.back()->start();
    }
    // Drained while the producers still run; checked once they have ended.
    int taken = 0;
    bool consistent = true;
    QList<int> next(producers, 0); // each producer's pairs keep its order
    while (consistent && taken < producers * perProducer) {
        const QStringList device = backEnd.getDevice();
        if (device.isEmpty())
            continue;
        const QStringList id = device.value(0).split(QLatin1Char('-'));
        consistent = device.size() == 2 && id.size() == 2 &&
                     device[1] == QStringLiteral("http://192.0.2.20/") + device[0] &&
                     id[1].toInt() == next[id[0].toInt()]++;
        ++taken;
    }
    for (const auto &thread : threads)
        thread->wait();
    QVERIFY(consistent);
    QCOMPARE(backEnd.getDevice(), QStringList{});
}

void TestBackEnd::userName()
{
    BackEnd backEnd;
    QSignalSpy spy(&backEnd, &BackEnd::userNameChanged);
    QCOMPARE(backEnd.userName(), QString());
    backEnd.setUserName(QString());
    QCOMPARE(spy.count(), 0);
    backEnd.setUserName(QStringLiteral("Ada"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(backEnd.userName(), QStringLiteral("Ada"));
    backEnd.setUserName(QStringLiteral("Ada"));
    QCOMPARE(spy.count(), 1);
    backEnd.setUserName(QStringLiteral("ada")); // compared case-sensitively
    QCOMPARE(spy.count(), 2);
    QVERIFY(backEnd.setProperty("userName", QStringLiteral("Grace")));
    QCOMPARE(spy.count(), 3);
    QCOMPARE(backEnd.property("userName").toString(), QStringLiteral("Grace"));
}

void TestBackEnd::appVersionHasNoSignal()
{
    BackEnd backEnd;
    QSignalSpy userNameSpy(&backEnd, &BackEnd::userNameChanged);
    QSignalSpy rescanSpy(&backEnd, &BackEnd::btnRescan);
    QCOMPARE(backEnd.appVersion(), QString());
    backEnd.setAppVersion(QStringLiteral("1.0.0"));
    QCOMPARE(backEnd.appVersion(), QStringLiteral("1.0.0"));
    QCOMPARE(backEnd.property("appVersion").toString(), QStringLiteral("1.0.0"));
    backEnd.setAppVersion(QStringLiteral("1.0.0"));
    QCOMPARE(userNameSpy.count(), 0);
    QCOMPARE(rescanSpy.count(), 0);
}

void TestBackEnd::onBtnRescanEmitsBtnRescan()
{
    BackEnd backEnd;
    backEnd.addDevice(QStringLiteral("Cam"), QStringLiteral("http://192.0.2.20"));
    QSignalSpy spy(&backEnd, &BackEnd::btnRescan);
    QVERIFY(QMetaObject::invokeMethod(&backEnd, "onBtnRescan"));
    QCOMPARE(spy.count(), 1);
    // The queue is not the rescan's business: the window empties its table.
    QCOMPARE(backEnd.getDevice(), (QStringList{"Cam", "http://192.0.2.20"}));
}

void TestBackEnd::latestBackEndIsTheInstance()
{
    BackEnd first;
    QCOMPARE(backEndInstance, &first);
    {
        BackEnd second;
        QCOMPARE(backEndInstance, &second);
    }
    BackEnd third;
    QCOMPARE(backEndInstance, &third);
}

void TestBackEnd::metaObjectContract()
{
    const QMetaObject &meta = BackEnd::staticMetaObject;
    const int element = meta.indexOfClassInfo("QML.Element");
    QVERIFY(element >= 0);
    QCOMPARE(meta.classInfo(element).value(), "auto");

    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        QCOMPARE(method.access(), QMetaMethod::Public);
        methods << QString::fromLatin1(method.typeName()) + QLatin1Char(' ') +
                       QString::fromLatin1(method.methodSignature());
    }
    QCOMPARE(methods, (QStringList{"void userNameChanged()", "void btnRescan()",
                                   "QStringList getDevice()", "void onBtnRescan()"}));
    QCOMPARE(meta.method(meta.methodOffset()).methodType(), QMetaMethod::Signal);
    QCOMPARE(meta.method(meta.methodOffset() + 1).methodType(), QMetaMethod::Signal);
    QCOMPARE(meta.method(meta.methodOffset() + 2).methodType(), QMetaMethod::Method);
    QCOMPARE(meta.method(meta.methodOffset() + 3).methodType(), QMetaMethod::Method);

    QCOMPARE(meta.propertyCount() - meta.propertyOffset(), 4);
    const QMetaProperty userName = meta.property(meta.propertyOffset());
    QCOMPARE(userName.name(), "userName");
    QCOMPARE(userName.metaType(), QMetaType::fromType<QString>());
    QVERIFY(userName.isWritable() && userName.isDesignable() && userName.isScriptable() &&
            userName.isStored());
    QCOMPARE(userName.notifySignal().name(), QByteArray("userNameChanged"));
    const QMetaProperty appVersion = meta.property(meta.propertyOffset() + 1);
    QCOMPARE(appVersion.name(), "appVersion");
    QCOMPARE(appVersion.metaType(), QMetaType::fromType<QString>());
    QVERIFY(appVersion.isWritable() && appVersion.isDesignable() && appVersion.isScriptable() &&
            appVersion.isStored());
    QVERIFY(!appVersion.hasNotifySignal());
    // What the window reads of the search on its timer: no signal, no writing.
    for (const char *name : {"searchState", "networks"}) {
        const QMetaProperty property = meta.property(meta.indexOfProperty(name));
        QVERIFY2(property.isReadable() && !property.isWritable() && !property.hasNotifySignal(),
                 name);
    }
}

QTEST_GUILESS_MAIN(TestBackEnd)
#include "tst_backend.moc"
