#include "desktop.h"

#include <QAccessible>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

bool Desktop::isWebLink(const QString &address)
{
    return address.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           address.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

void Desktop::openWebLink(const QString &address)
{
    if (isWebLink(address))
        QDesktopServices::openUrl(QUrl(address));
}

void Desktop::copy(const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
}

void Desktop::announce(QObject *item, const QString &message)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    // Once a search: no need to ask first whether anybody listens.
    if (!item)
        return;
    QAccessibleAnnouncementEvent event(item, message);
    QAccessible::updateAccessibility(&event);
#else
    Q_UNUSED(item);
    Q_UNUSED(message);
#endif
}
