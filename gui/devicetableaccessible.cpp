#include "devicetableaccessible.h"

#include "desktop.h"
#include "devicemodel.h"

#include <QCoreApplication>
#include <QQuickItem>
#include <QQuickWindow>

namespace {

// The object behind a QML item's attached Accessible properties, if QML
// has set any.
QObject *accessibleProperties(QObject *item)
{
    const QObjectList children = item->children();
    for (QObject *child : children) {
        if (child->inherits("QQuickAccessibleAttached"))
            return child;
    }
    return nullptr;
}

// Qt Quick asks for an item's interface as soon as QML gives it accessible
// properties, before it has set them: the view is known by its class alone.
QAccessibleInterface *deviceTableFactory(const QString &className, QObject *object)
{
    // Header views are TableViews too.
    if (className != QLatin1String("QQuickTableView") || object->inherits("QQuickHeaderViewBase"))
        return nullptr;
    return new DeviceTableAccessible(qobject_cast<QQuickItem *>(object));
}

QRect globalRect(const QQuickItem *item)
{
    if (!item || !item->window() || !item->isVisible())
        return QRect();
    return QRect(item->mapToGlobal(QPointF(0, 0)).toPoint(), item->size().toSize());
}

// One cell: the name of a device, or its address as a link.
class DeviceCellAccessible : public QAccessibleInterface,
                             public QAccessibleTableCellInterface,
                             public QAccessibleActionInterface
{
public:
    DeviceCellAccessible(DeviceTableAccessible *table, const QModelIndex &index)
        : owner(table), index(index)
    {
    }

    bool isValid() const override { return index.isValid(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return owner->window(); }
    QAccessibleInterface *parent() const override { return owner; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString &) override {}

    QString text(QAccessible::Text type) const override
    {
        switch (type) {
        case QAccessible::Name:
            return index.data(Qt::AccessibleTextRole).toString();
        case QAccessible::Description:
            return index.data(Qt::AccessibleDescriptionRole).toString();
        default:
            return QString();
        }
    }

    QRect rect() const override { return globalRect(owner->cellItem(rowIndex(), columnIndex())); }
    QAccessible::Role role() const override
    {
        return isLink() ? QAccessible::Link : QAccessible::Cell;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.focusable = true;
        state.selectable = true;
        state.selected = isSelected();
        state.focused = state.selected && owner->view()->hasActiveFocus();
        state.linked = isLink();
        state.offscreen = !owner->cellItem(rowIndex(), columnIndex());
        return state;
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface *>(this);
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface *>(this);
        return nullptr;
    }

    bool isSelected() const override { return rowIndex() == owner->currentRow(); }
    QList<QAccessibleInterface *> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return index.column(); }
    int rowIndex() const override { return index.row(); }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return owner; }

    QStringList actionNames() const override
    {
        if (isLink())
            return {pressAction(), setFocusAction()};
        return {setFocusAction()};
    }

    void doAction(const QString &name) override
    {
        if (name == setFocusAction())
            owner->focusRow(rowIndex());
        else if (name == pressAction() && isLink())
            Desktop::openWebLink(index.data().toString());
    }

    QStringList keyBindingsForAction(const QString &name) const override
    {
        if (name == pressAction() && isLink())
            return {QStringLiteral("Return")};
        return {};
    }

private:
    bool isLink() const { return index.column() == DeviceModel::AddressColumn; }

    DeviceTableAccessible *const owner;
    const QPersistentModelIndex index;
};

void postTableChange(QObject *view, QAccessibleTableModelChangeEvent::ModelChangeType type,
                     int firstRow = -1, int lastRow = -1)
{
    // An event makes Qt build the view's interfaces; nobody listens now.
    if (!QAccessible::isActive())
        return;
    QAccessibleTableModelChangeEvent event(view, type);
    event.setFirstRow(firstRow);
    event.setLastRow(lastRow);
    QAccessible::updateAccessibility(&event);
}

} // namespace

DeviceTableAccessible::DeviceTableAccessible(QQuickItem *view)
    : QAccessibleObject(view), watcher(new QObject)
{
    QObject::connect(view, &QQuickItem::activeFocusChanged, watcher, [this](bool focused) {
        if (focused)
            announceCurrentCell();
    });
}

DeviceTableAccessible::~DeviceTableAccessible()
{
    delete watcher;
    forgetCells();
}

namespace {

// Before any window: a factory installed later takes precedence, and Qt
// Quick's serves items at the level of QQuickItem only.
void installDeviceTableFactory()
{
    QAccessible::installFactory(deviceTableFactory);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installDeviceTableFactory)

QQuickItem *DeviceTableAccessible::view() const
{
    return static_cast<QQuickItem *>(object());
}

QAbstractItemModel *DeviceTableAccessible::model() const
{
    auto *rows = qvariant_cast<QAbstractItemModel *>(view()->property("model"));
    if (rows != watchedModel)
        const_cast<DeviceTableAccessible *>(this)->watchModel(rows);
    return rows;
}

QItemSelectionModel *DeviceTableAccessible::selectionModel() const
{
    auto *selection = qvariant_cast<QItemSelectionModel *>(view()->property("selectionModel"));
    if (selection != watchedSelection)
        const_cast<DeviceTableAccessible *>(this)->watchSelection(selection);
    return selection;
}

// QML sets the view's models after it has made the interface, so they are
// followed as they are read: no cell exists before the model has been read,
// and no focus moves to a cell before the selection model has been read.
void DeviceTableAccessible::watchModel(QAbstractItemModel *rows)
{
    if (watchedModel)
        QObject::disconnect(watchedModel, nullptr, watcher, nullptr);
    forgetCells();
    watchedModel = rows;
    if (!rows)
        return;
    QQuickItem *table = view();
    QObject::connect(rows, &QAbstractItemModel::rowsInserted, watcher,
                     [table](const QModelIndex &, int first, int last) {
                         postTableChange(table, QAccessibleTableModelChangeEvent::RowsInserted,
                                         first, last);
                     });
    QObject::connect(rows, &QAbstractItemModel::rowsRemoved, watcher,
                     [this, table](const QModelIndex &, int first, int last) {
                         forgetRemovedCells();
                         postTableChange(table, QAccessibleTableModelChangeEvent::RowsRemoved,
                                         first, last);
                     });
    QObject::connect(rows, &QAbstractItemModel::modelReset, watcher, [this, table] {
        forgetCells();
        postTableChange(table, QAccessibleTableModelChangeEvent::ModelReset);
    });
    // A sort moves the rows; each cell keeps its device.
    QObject::connect(rows, &QAbstractItemModel::layoutChanged, watcher, [this, table] {
        forgetRemovedCells();
        postTableChange(table, QAccessibleTableModelChangeEvent::ModelReset);
    });
}

void DeviceTableAccessible::watchSelection(QItemSelectionModel *selection)
{
    if (watchedSelection)
        QObject::disconnect(watchedSelection, nullptr, watcher, nullptr);
    watchedSelection = selection;
    if (selection) {
        QObject::connect(selection, &QItemSelectionModel::currentChanged, watcher,
                         [this] { announceCurrentCell(); });
    }
}

void DeviceTableAccessible::forgetCells()
{
    for (QAccessible::Id id : std::as_const(cells))
        QAccessible::deleteAccessibleInterface(id);
    cells.clear();
}

void DeviceTableAccessible::forgetRemovedCells()
{
    for (auto cell = cells.begin(); cell != cells.end();) {
        if (cell.key().isValid()) {
            ++cell;
        } else {
            QAccessible::deleteAccessibleInterface(cell.value());
            cell = cells.erase(cell);
        }
    }
}

void DeviceTableAccessible::announceCurrentCell()
{
    if (!QAccessible::isActive() || !view()->hasActiveFocus())
        return;
    if (QAccessibleInterface *cell = cellAt(currentRow(), DeviceModel::NameColumn)) {
        QAccessibleEvent event(cell, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

int DeviceTableAccessible::currentRow() const
{
    const QItemSelectionModel *selection = selectionModel();
    return selection && selection->currentIndex().isValid() ? selection->currentIndex().row() : -1;
}

void DeviceTableAccessible::focusRow(int row)
{
    QItemSelectionModel *selection = selectionModel();
    QAbstractItemModel *rows = model();
    if (!selection || !rows || row < 0 || row >= rows->rowCount())
        return;
    selection->setCurrentIndex(rows->index(row, 0), QItemSelectionModel::NoUpdate);
    view()->forceActiveFocus();
}

QQuickItem *DeviceTableAccessible::cellItem(int row, int column) const
{
    QQuickItem *item = nullptr;
    QMetaObject::invokeMethod(view(), "itemAtCell", Q_RETURN_ARG(QQuickItem *, item),
                              Q_ARG(QPoint, QPoint(column, row)));
    return item;
}

QWindow *DeviceTableAccessible::window() const
{
    return view()->window();
}

QAccessibleInterface *DeviceTableAccessible::parent() const
{
    // The nearest item that screen readers see, or else the window.
    const QQuickItem *root = view()->window() ? view()->window()->contentItem() : nullptr;
    for (QQuickItem *item = view()->parentItem(); item; item = item->parentItem()) {
        if (item == root)
            break;
        if (QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(item))
            return iface;
    }
    return QAccessible::queryAccessibleInterface(view()->window());
}

QAccessibleInterface *DeviceTableAccessible::cellAt(int row, int column) const
{
    const QAbstractItemModel *rows = model();
    if (!rows || row < 0 || row >= rows->rowCount() || column < 0 || column >= rows->columnCount())
        return nullptr;
    const QPersistentModelIndex index(rows->index(row, column));
    QAccessible::Id &id = cells[index];
    if (!id) {
        id = QAccessible::registerAccessibleInterface(
            new DeviceCellAccessible(const_cast<DeviceTableAccessible *>(this), index));
    }
    return QAccessible::accessibleInterface(id);
}

QAccessibleInterface *DeviceTableAccessible::child(int index) const
{
    const int columns = columnCount();
    return columns > 0 && index >= 0 ? cellAt(index / columns, index % columns) : nullptr;
}

int DeviceTableAccessible::childCount() const
{
    return rowCount() * columnCount();
}

int DeviceTableAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    // Only cells are children here.
    const QAccessibleTableCellInterface *cell =
        child ? const_cast<QAccessibleInterface *>(child)->tableCellInterface() : nullptr;
    if (!cell || child->parent() != this)
        return -1;
    return cell->rowIndex() * columnCount() + cell->columnIndex();
}

QAccessibleInterface *DeviceTableAccessible::childAt(int x, int y) const
{
    // Only the rows on screen have cells to hit.
    const int top = view()->property("topRow").toInt();
    const int bottom = view()->property("bottomRow").toInt();
    for (int row = qMax(top, 0); row <= bottom; ++row) {
        for (int column = 0; column < columnCount(); ++column) {
            if (globalRect(cellItem(row, column)).contains(x, y))
                return cellAt(row, column);
        }
    }
    return nullptr;
}

QAccessibleInterface *DeviceTableAccessible::focusChild() const
{
    return view()->hasActiveFocus() ? cellAt(currentRow(), DeviceModel::NameColumn) : nullptr;
}

QString DeviceTableAccessible::text(QAccessible::Text type) const
{
    const QObject *properties = accessibleProperties(view());
    if (!properties)
        return QString();
    if (type == QAccessible::Name)
        return properties->property("name").toString();
    if (type == QAccessible::Description)
        return properties->property("description").toString();
    return QString();
}

QRect DeviceTableAccessible::rect() const
{
    return globalRect(view());
}

QAccessible::Role DeviceTableAccessible::role() const
{
    return QAccessible::Table;
}

QAccessible::State DeviceTableAccessible::state() const
{
    QAccessible::State state;
    state.focusable = view()->activeFocusOnTab();
    state.focused = view()->hasActiveFocus();
    state.invisible = !view()->isVisible();
    return state;
}

void *DeviceTableAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface *>(this);
    return nullptr;
}

int DeviceTableAccessible::selectedCellCount() const
{
    return currentRow() >= 0 ? columnCount() : 0;
}

QList<QAccessibleInterface *> DeviceTableAccessible::selectedCells() const
{
    QList<QAccessibleInterface *> selected;
    const int row = currentRow();
    for (int column = 0; row >= 0 && column < columnCount(); ++column)
        selected.append(cellAt(row, column));
    return selected;
}

QString DeviceTableAccessible::columnDescription(int column) const
{
    const QAbstractItemModel *rows = model();
    return rows ? rows->headerData(column, Qt::Horizontal).toString() : QString();
}

int DeviceTableAccessible::selectedRowCount() const
{
    return currentRow() >= 0 ? 1 : 0;
}

int DeviceTableAccessible::columnCount() const
{
    const QAbstractItemModel *rows = model();
    return rows ? rows->columnCount() : 0;
}

int DeviceTableAccessible::rowCount() const
{
    const QAbstractItemModel *rows = model();
    return rows ? rows->rowCount() : 0;
}

QList<int> DeviceTableAccessible::selectedRows() const
{
    if (currentRow() < 0)
        return {};
    return {currentRow()};
}

bool DeviceTableAccessible::isRowSelected(int row) const
{
    return row >= 0 && row == currentRow();
}

bool DeviceTableAccessible::selectRow(int row)
{
    // The table selects one row: the current one.
    focusRow(row);
    return isRowSelected(row);
}

void DeviceTableAccessible::modelChange(QAccessibleTableModelChangeEvent *)
{
    // The cells follow the model's own signals, also while no screen reader
    // is active and so no change events are sent.
}
