#pragma once

#include "localnetworks.h"

#include <QCollator>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

// The device table as the window shows it: the rows of its source, one per
// device with the name in column 0 and the address in column 1, in their
// order of arrival until it is sorted by a column, and only those that match
// the filter. A row whose address lies outside the computer's networks,
// where its page cannot open, carries a note as tool tip and accessible
// description.
class DeviceModel : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_PROPERTY(QString filterText READ filterText WRITE setFilterText NOTIFY filterTextChanged)
    // The computer's networks, as "192.0.2.0/24".
    Q_PROPERTY(QStringList networks READ networks WRITE setNetworks NOTIFY networksChanged)
    // -1 while the rows keep their order of arrival.
    Q_PROPERTY(int sortColumn READ sortColumn NOTIFY sortChanged)
    Q_PROPERTY(Qt::SortOrder sortOrder READ sortOrder NOTIFY sortChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    QML_ELEMENT

public:
    enum Column { NameColumn, AddressColumn };

    explicit DeviceModel(QObject *parent = nullptr);

    QString filterText() const { return filter; }
    void setFilterText(const QString &text);
    QStringList networks() const { return networkTexts; }
    void setNetworks(const QStringList &texts);
    int count() const { return rowCount(); }

    // Sorts by column in ascending order; by the same column again, the
    // other way round.
    Q_INVOKABLE void sortBy(int column);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // A name as the window shows it: rich text with its markup escaped, so
    // that character references such as "&amp;" show as their characters.
    static QString shownName(const QString &name);
    // Why the page at address cannot open from here; empty when it can, or
    // when that cannot be told.
    QString offNetworkNote(const QString &address) const;

signals:
    void filterTextChanged();
    void networksChanged();
    void sortChanged();
    void countChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    QString sortText(const QModelIndex &index) const;

    QString filter;
    QStringList networkTexts;
    LocalNetworks localNetworks;
    QCollator collator;
};
