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
    // Read by the window on its timer, as it reacts to no signal.
    Q_PROPERTY(SearchState searchState READ searchState)
    Q_PROPERTY(QStringList networks READ networks)
    QML_ELEMENT

public:
    enum SearchState {
        NotStarted,
        Searching,
        // Both ways have ended and no description is being fetched.
        Ended,
        // The computer has no network to search.
        NoNetwork
    };
    Q_ENUM(SearchState)

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

    SearchState searchState() const { return state; }
    // The networks that the current search covers, as "192.0.2.0/24".
    QStringList networks() const { return searchedNetworks; }
    // A search of networks begins, or none when there are none.
    void beginSearch(const QStringList &networks);
    void endSearch();

signals:
    void userNameChanged();
    void btnRescan();

private:
    QString m_userName;
    QStringList deviceNames;
    QStringList deviceAddresses;
    QString m_appVersion;
    QMutex deviceMutex;
    SearchState state = NotStarted;
    QStringList searchedNetworks;
};

// The instance that the native side uses: the most recently constructed one.
extern BackEnd *backEndInstance;
