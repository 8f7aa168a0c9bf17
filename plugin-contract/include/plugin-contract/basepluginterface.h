#pragma once
// The interface every measurement plugin's root object implements. The program finds plugin
// libraries in its plugins folder, asks each root object for this interface and, after a board
// is connected, offers it every hardware module; the first plugin that accepts a module creates
// the model for it.
//
// Ownership: the root object belongs to the plugin loader and lives until the process ends.
// Threads: GUI thread only.

#include <QQmlExtensionPlugin>
#include <QString>

class TessaronModule;
class TDCBaseExtensionObject;

#define TESSARON_PLUGIN_IID "plugins.BasePlugin/1.0"

class BasePluginInterface : public QQmlExtensionPlugin {
    Q_OBJECT
public:
    using QQmlExtensionPlugin::QQmlExtensionPlugin;
    ~BasePluginInterface() override = default;

public slots:
    // Display name; also the group under which the models' settings are stored.
    virtual QString name() = 0;
    // True when `module` is of the module class this plugin serves.
    virtual bool isCompatible(TessaronModule *module) = 0;
    // Icon name of the shell's icon map, or an image URL. Also the view identifier in QML.
    virtual QString icon() = 0;
    // URL of the plugin's main QML view, inside the plugin's own resources.
    virtual QString view() = 0;
    virtual QString uuid() = 0;
    // Ordering weight in the module bar, larger first.
    virtual int priority() = 0;
    virtual QString version() = 0;
    // A new model for `module`; `backend` becomes its parent and owner.
    virtual TDCBaseExtensionObject *createModel(TessaronModule *module, QObject *backend) = 0;
};

Q_DECLARE_INTERFACE(BasePluginInterface, TESSARON_PLUGIN_IID)
