#include "devicemodel.h"

#include <QHostAddress>
#include <QTextDocumentFragment>
#include <QUrl>

namespace {

// The C locale compares code points, and numbers not by their value.
QLocale collation()
{
    const QLocale locale;
    return locale.language() == QLocale::C ? QLocale(QLocale::English) : locale;
}

} // namespace

DeviceModel::DeviceModel(QObject *parent) : QSortFilterProxyModel(parent), collator(collation())
{
    // "Camera 9" before "Camera 10", and 192.0.2.9 before 192.0.2.10.
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    for (auto signal : {&DeviceModel::rowsInserted, &DeviceModel::rowsRemoved})
        connect(this, signal, this, &DeviceModel::countChanged);
    connect(this, &DeviceModel::modelReset, this, &DeviceModel::countChanged);
    connect(this, &DeviceModel::layoutChanged, this, &DeviceModel::countChanged);
}

void DeviceModel::setFilterText(const QString &text)
{
    if (text == filter)
        return;
    filter = text;
    invalidateFilter();
    emit filterTextChanged();
}

void DeviceModel::setNetworks(const QStringList &texts)
{
    if (texts == networkTexts)
        return;
    networkTexts = texts;
    localNetworks = LocalNetworks::fromText(texts);
    if (rowCount() > 0) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                         {Qt::ToolTipRole, Qt::AccessibleDescriptionRole});
    }
    emit networksChanged();
}

void DeviceModel::sortBy(int column)
{
    const bool reverse = column == sortColumn() && sortOrder() == Qt::AscendingOrder;
    sort(column, reverse ? Qt::DescendingOrder : Qt::AscendingOrder);
    emit sortChanged();
}

QVariant DeviceModel::data(const QModelIndex &index, int role) const
{
    switch (role) {
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        return offNetworkNote(index.siblingAtColumn(AddressColumn).data().toString());
    case Qt::AccessibleTextRole: {
        const QString text = index.data().toString();
        return index.column() == NameColumn ? shownName(text) : text;
    }
    default:
        return QSortFilterProxyModel::data(index, role);
    }
}

QVariant DeviceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QSortFilterProxyModel::headerData(section, orientation, role);
    return section == NameColumn ? tr("Name") : tr("Address");
}

QHash<int, QByteArray> DeviceModel::roleNames() const
{
    // The source's, which a TableModel may not have yet when first asked,
    // and the note, to delegates.
    QHash<int, QByteArray> names = QSortFilterProxyModel::roleNames();
    names.insert(Qt::DisplayRole, QByteArrayLiteral("display"));
    names.insert(Qt::ToolTipRole, QByteArrayLiteral("toolTip"));
    return names;
}

QString DeviceModel::shownName(const QString &name)
{
    QString markup = name;
    markup.replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return QTextDocumentFragment::fromHtml(markup).toPlainText();
}

QString DeviceModel::offNetworkNote(const QString &address) const
{
    // Only an IPv4 address can be told apart; a host name or an IPv6
    // address may well be reachable.
    const QHostAddress host(QUrl(address, QUrl::TolerantMode).host());
    if (localNetworks.isEmpty() || host.protocol() != QAbstractSocket::IPv4Protocol ||
        localNetworks.contains(host))
        return QString();
    return tr("Not on this computer's networks (%1)").arg(networkTexts.join(QLatin1String(", ")));
}

bool DeviceModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (filter.isEmpty())
        return true;
    for (int column : {NameColumn, AddressColumn}) {
        const QModelIndex index = sourceModel()->index(sourceRow, column, sourceParent);
        const QString text = index.data().toString();
        if (text.contains(filter, Qt::CaseInsensitive) ||
            (column == NameColumn && text.contains(QLatin1Char('&')) &&
             shownName(text).contains(filter, Qt::CaseInsensitive)))
            return true;
    }
    return false;
}

QString DeviceModel::sortText(const QModelIndex &index) const
{
    const QString text = index.data().toString();
    // Decoding takes a document; only a name with a reference needs one.
    if (index.column() == NameColumn && text.contains(QLatin1Char('&')))
        return shownName(text);
    return text;
}

bool DeviceModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    return collator.compare(sortText(left), sortText(right)) < 0;
}
