#pragma once

#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

// The one native object that the window talks to: a first-in, first-out queue
// of found devices, drained by polling getDevice(), and the rescan request.
class BackEnd : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString userName READ userName WRITE setUserName NOTIFY userNameChanged)
    Q_PROPERTY(QString appVersion READ appVersion WRITE setAppVersion)
    QML_ELEMENT

public:
    explicit BackEnd(QObject *parent = nullptr);
    ~BackEnd() override;

    QString userName() const;
    void setUserName(const QString &value);
    QString appVersion() const;
    void setAppVersion(const QString &value);

    // The oldest queued device as [name, address], removed from the queue;
    // an empty list when nothing is queued.
    Q_INVOKABLE QStringList getDevice();
    Q_INVOKABLE void onBtnRescan();

    void addDevice(const QString &name, const QString &address);
    // Forgets every queued device: a rescan discards the search they belong to.
    void clearDevices();

signals:
    void userNameChanged();
    void btnRescan();

private:
    QString m_userName;
    QStringList deviceNames;
    QStringList deviceAddresses;
    QString m_appVersion;
    QMutex deviceMutex;
};

// The instance that the native side uses: the most recently constructed one.
extern BackEnd *backEndInstance;
