#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

// What the window asks of the desktop: opening web pages, the clipboard,
// and announcements to assistive technology.
class Desktop : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    // Whether address is one that opens: a web page. A device chooses its
    // address, and must not make a click open a local file, a file share or
    // another program.
    Q_INVOKABLE static bool isWebLink(const QString &address);
    // Opens address in the desktop's web browser if it is a web page.
    Q_INVOKABLE static void openWebLink(const QString &address);
    Q_INVOKABLE static void copy(const QString &text);
    // Has screen readers say message, as coming from item, where Qt can
    // (6.8 and later); a live region would repeat every change instead.
    Q_INVOKABLE static void announce(QObject *item, const QString &message);
};
