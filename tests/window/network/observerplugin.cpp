// The window observer as a Qt plugin, for the installed Windows program:
//   Finderly.exe -plugin finderlyobserver
// with the plugin's folder on Qt's plugin path. Loading it starts the observer
// (windowobserver.cpp); what the plugin makes does nothing.

#include <QGenericPlugin>

class ObserverPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "observerplugin.json")

public:
    QObject *create(const QString &, const QString &) override { return new QObject; }
};

#include "observerplugin.moc"
