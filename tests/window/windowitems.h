#pragma once

// Finds the parts of Finderly's window from outside, by their Qt Quick type
// and their content; the status line by its object name.

#include <QAbstractItemModel>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStringList>

namespace WindowItems {

// The first item below root (root included) of the Qt Quick class className,
// as named by its meta-object, for which accept holds.
template<typename Accept> QQuickItem *find(QQuickItem *root, const char *className, Accept accept)
{
    if (!root)
        return nullptr;
    if (root->inherits(className) && accept(root))
        return root;
    const QList<QQuickItem *> children = root->childItems();
    for (QQuickItem *child : children) {
        if (QQuickItem *found = find(child, className, accept))
            return found;
    }
    return nullptr;
}

inline QQuickItem *find(QQuickItem *root, const char *className)
{
    return find(root, className, [](QQuickItem *) { return true; });
}

// The program's one window, once it exists.
inline QQuickWindow *mainWindow()
{
    const QList<QWindow *> windows = QGuiApplication::topLevelWindows();
    for (QWindow *window : windows) {
        if (auto *quickWindow = qobject_cast<QQuickWindow *>(window))
            return quickWindow;
    }
    return nullptr;
}

// The root of all items of the window, its header and footer included.
inline QQuickItem *rootItem(QQuickWindow *window)
{
    return window ? window->contentItem() : nullptr;
}

// The device table, not the view of its column heads.
inline QQuickItem *tableView(QQuickWindow *window)
{
    return find(rootItem(window), "QQuickTableView",
                [](QQuickItem *item) { return !item->inherits("QQuickHeaderViewBase"); });
}

// The device table's model: one row per device, the name in column 0 and
// the address in column 1.
inline QAbstractItemModel *tableModel(QQuickWindow *window)
{
    QQuickItem *table = tableView(window);
    return table ? qvariant_cast<QAbstractItemModel *>(table->property("model")) : nullptr;
}

// The tool bar's Rescan button.
inline QQuickItem *rescanButton(QQuickWindow *window)
{
    return find(rootItem(window), "QQuickToolButton", [](QQuickItem *item) {
        return item->property("text").toString() == QLatin1String("Rescan");
    });
}

inline QQuickItem *statusLine(QQuickWindow *window)
{
    return find(rootItem(window), "QQuickLabel",
                [](QQuickItem *item) { return item->objectName() == QLatin1String("status"); });
}

inline QQuickItem *filterField(QQuickWindow *window)
{
    return find(rootItem(window), "QQuickTextField");
}

// The head of column 0 or 1, once the heads are laid out.
inline QQuickItem *columnHead(QQuickWindow *window, int column)
{
    QQuickItem *heads = find(rootItem(window), "QQuickHorizontalHeaderView");
    QQuickItem *head = nullptr;
    if (heads) {
        QMetaObject::invokeMethod(heads, "itemAtCell", Q_RETURN_ARG(QQuickItem *, head),
                                  Q_ARG(QPoint, QPoint(column, 0)));
    }
    return head;
}

inline QStringList row(const QAbstractItemModel *model, int row)
{
    return {model->index(row, 0).data().toString(), model->index(row, 1).data().toString()};
}

} // namespace WindowItems
