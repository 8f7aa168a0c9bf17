#pragma once
// The program's record of one loaded plugin: its texts for the module bar and the models it
// created for the connected board's hardware modules.
//
// Ownership: created by the plugin host without parent and kept for the whole run; the models
// in `modelList` belong to the backend wrapper. Threads: GUI thread only.

#include <QList>
#include <QObject>
#include <QString>

class BasePluginInterface;
class TDCBaseExtensionObject;

class ModuleObject : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString view READ view CONSTANT)
    Q_PROPERTY(QString icon READ icon CONSTANT)
    // The views are identified by the plugin's icon text, so `uuid` reports the icon.
    Q_PROPERTY(QString uuid READ icon CONSTANT)
    Q_PROPERTY(QString name READ name CONSTANT)
    Q_PROPERTY(int priority READ priority CONSTANT)
    Q_PROPERTY(QString version READ version CONSTANT)
    Q_PROPERTY(QList<TDCBaseExtensionObject *> modelList READ modelList CONSTANT)

public:
    explicit ModuleObject(BasePluginInterface *plugin);

    QString view() const { return m_view; }
    QString icon() const { return m_icon; }
    QString pluginUuid() const { return m_pluginUuid; }
    QString name() const { return m_name; }
    int priority() const { return m_priority; }
    QString version() const { return m_version; }
    QList<TDCBaseExtensionObject *> modelList() const { return m_modelList; }

    BasePluginInterface *plugin() const { return m_plugin; }
    void appendModel(TDCBaseExtensionObject *model) { m_modelList.append(model); }
    // Empties the list and hands the models to the caller.
    QList<TDCBaseExtensionObject *> takeModels();

private:
    BasePluginInterface *m_plugin;
    QString m_view;
    QString m_icon;
    QString m_pluginUuid;
    QString m_name;
    int m_priority;
    QString m_version;
    QList<TDCBaseExtensionObject *> m_modelList;
};
