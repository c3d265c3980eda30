#pragma once

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

// The objects of a JSON-lines file, as the simulators and the flooder write
// their logs and captures; with event, only those whose "event" is that.
inline QList<QJsonObject> jsonLines(const QString &path, const QString &event = {})
{
    QList<QJsonObject> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (event.isEmpty() || object.value(QLatin1String("event")).toString() == event)
            lines << object;
    }
    return lines;
}
