#include "backend.h"

#include <QMutexLocker>

BackEnd *backEndInstance = nullptr;

BackEnd::BackEnd(QObject *parent) : QObject(parent)
{
    backEndInstance = this;
}

BackEnd::~BackEnd()
{
    if (backEndInstance == this)
        backEndInstance = nullptr;
}

QString BackEnd::userName() const
{
    return m_userName;
}

void BackEnd::setUserName(const QString &value)
{
    if (value == m_userName)
        return;
    m_userName = value;
    emit userNameChanged();
}

QString BackEnd::appVersion() const
{
    return m_appVersion;
}

void BackEnd::setAppVersion(const QString &value)
{
    // The window reads the version once, so it has no change signal.
    if (value != m_appVersion)
        m_appVersion = value;
}

QStringList BackEnd::getDevice()
{
    QMutexLocker locker(&deviceMutex);
    if (deviceNames.isEmpty())
        return {};
    return {deviceNames.takeFirst(), deviceAddresses.takeFirst()};
}

void BackEnd::onBtnRescan()
{
    emit btnRescan();
}

void BackEnd::addDevice(const QString &name, const QString &address)
{
    QMutexLocker locker(&deviceMutex);
    deviceNames.append(name);
    deviceAddresses.append(address);
}

void BackEnd::beginSearch(const QStringList &networks)
{
    searchedNetworks = networks;
    state = networks.isEmpty() ? NoNetwork : Searching;
}

void BackEnd::endSearch()
{
    if (state != Searching)
        return;
    state = Ended;
}

void BackEnd::clearDevices()
{
    QMutexLocker locker(&deviceMutex);
    deviceNames.clear();
    deviceAddresses.clear();
}
