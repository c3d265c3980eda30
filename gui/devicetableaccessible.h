#pragma once

#include <QAbstractItemModel>
#include <QAccessibleObject>
#include <QHash>
#include <QItemSelectionModel>
#include <QPersistentModelIndex>
#include <QPointer>

class QQuickItem;

// The device table as screen readers see it: a table of every row of its
// model, not only of the rows that have a delegate on screen, whose cells
// are named with the text they show, row by row as on screen; the address
// is a link with an action that opens it.
//
// Qt Quick's own accessibility (up to 6.8) lists a TableView's delegates in
// the order of their creation, which reuse mixes up, and knows no tables.
// This serves every TableView of the program, the device table being its
// only one (installed when the application starts). Its name comes from the
// view's Accessible properties, and its model, selection model and current
// row from the view itself, so that this keeps no copy of them.
class DeviceTableAccessible : public QAccessibleObject, public QAccessibleTableInterface
{
public:
    explicit DeviceTableAccessible(QQuickItem *view);
    ~DeviceTableAccessible() override;

    QWindow *window() const override;
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;
    QString text(QAccessible::Text type) const override;
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QAccessibleInterface *cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface *> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int) const override { return QString(); }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent *event) override;

    QQuickItem *view() const;
    QAbstractItemModel *model() const;
    // The row that the keyboard acts on; -1 when there is none.
    int currentRow() const;
    // Makes row current and gives the table the keyboard focus.
    void focusRow(int row);
    // The delegate that shows a cell now, if any.
    QQuickItem *cellItem(int row, int column) const;

private:
    void watchModel(QAbstractItemModel *rows);
    void watchSelection(QItemSelectionModel *selection);
    void forgetCells();
    void forgetRemovedCells();
    void announceCurrentCell();
    QItemSelectionModel *selectionModel() const;

    QObject *watcher; // carries the connections to the view and its models
    QPointer<QAbstractItemModel> watchedModel;
    QPointer<QItemSelectionModel> watchedSelection;
    mutable QHash<QPersistentModelIndex, QAccessible::Id> cells;
};
