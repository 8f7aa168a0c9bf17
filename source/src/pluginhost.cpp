#include "tessaron/pluginhost.h"

#include <QDebug>
#include <QDir>
#include <QPluginLoader>
#include <QQmlEngine>
#include <QRegularExpression>

#include "plugin-contract/basepluginterface.h"
#include "plugin-contract/moduleobject.h"
#include "plugin-contract/tdcbaseextensionobject.h"
#include "tdc/tessaronmodule.h"

namespace tessaron {

QString pluginsPath(const QString &applicationDir, const QString &folder)
{
    QString base = QDir::cleanPath(QDir(applicationDir).absolutePath());
    const QString last = QFileInfo(base).fileName().toLower();
    if (last == QLatin1String("debug") || last == QLatin1String("release"))
        base = QFileInfo(base).path();
    return QDir(base).absoluteFilePath(folder);
}

bool looksLikePluginLibrary(const QString &fileName)
{
    static const QRegularExpression pattern(QStringLiteral("\\w+.(?:dll|so)$"));
    return pattern.match(fileName).hasMatch();
}

namespace {
void loadPluginFile(const QString &filePath, QVector<ModuleObject *> &plugins)
{
    const QString fileName = QFileInfo(filePath).fileName();
    QPluginLoader loader(filePath);
    QObject *root = loader.instance();
    if (!root) {
        qWarning().noquote() << "File " + fileName + " is not a valid plugin!";
        qDebug().noquote() << loader.errorString();
        return;
    }
    auto *plugin = qobject_cast<BasePluginInterface *>(root);
    if (!plugin)
        return;
    const QString name = plugin->name();
    qDebug().noquote() << "Loading " + name + " plugin...";
    plugin->registerTypes("");
    auto *moduleObject = new ModuleObject(plugin);
    // Has no parent; QML must never take it for its own.
    QQmlEngine::setObjectOwnership(moduleObject, QQmlEngine::CppOwnership);
    plugins.append(moduleObject);
    qInfo().noquote() << "Plugin " + name + " loaded!";
}
} // namespace

QVector<ModuleObject *> loadPluginModules(const QString &applicationDir, const QString &folder)
{
    QVector<ModuleObject *> plugins;
    qDebug().noquote() << "Loading Plugin Modules from " + folder + " folder.";
    const QString path = pluginsPath(applicationDir, folder);
    qDebug().noquote() << "Looking for plugins in path: " + path;
    const QDir pluginsDir(path);
    if (!pluginsDir.exists()) {
        // Searching some other folder instead would load whatever libraries happen to sit there.
        qCritical().noquote() << "Plugins folder " + path + " does not exist; no plugin loaded.";
        qInfo().noquote() << "Plugin Modules loaded!";
        return plugins;
    }
    const QStringList folders = pluginsDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    qDebug().noquote() << "Plugins folders: " + folders.join(QStringLiteral(", "));
    for (const QString &sub : folders) {
        const QDir subDir(pluginsDir.absoluteFilePath(sub));
        QStringList files;
        for (const QString &file : subDir.entryList(QDir::Files, QDir::Name)) {
            if (looksLikePluginLibrary(file))
                files.append(file);
        }
        qDebug().noquote() << "entries in plugin " + sub + ": " + files.join(QStringLiteral(", "));
        for (const QString &file : qAsConst(files))
            loadPluginFile(subDir.absoluteFilePath(file), plugins);
    }
    qInfo().noquote() << "Plugin Modules loaded!";
    return plugins;
}

void linkHardwareAndPluginModules(const std::vector<TessaronModule *> &modules,
                                  const QVector<ModuleObject *> &plugins, QObject *backend)
{
    for (TessaronModule *module : modules) {
        if (!module)
            continue;
        const QString typeId = QString::number(module->typeID(), 16);
        qDebug().noquote() << "Try linking module with typeID=" + typeId + "\t  m_pluginModule: "
                + QString::number(plugins.size());
        for (ModuleObject *plugin : plugins) {
            if (!plugin->plugin()->isCompatible(module))
                continue;
            TDCBaseExtensionObject *model = plugin->plugin()->createModel(module, backend);
            if (!model) {
                qWarning().noquote() << "Plugin " + plugin->name() + " accepted module [typeID="
                        + typeId + "] but created no model.";
                break;
            }
            // Handed to QML through getModelByUUID; the backend wrapper stays its owner.
            QQmlEngine::setObjectOwnership(model, QQmlEngine::CppOwnership);
            plugin->appendModel(model);
            qInfo().noquote() << "Module " + plugin->name() + "[typeID=" + typeId + "] linked!";
            break;
        }
    }
}

QObject *findModelByUUID(const QVector<ModuleObject *> &plugins, const QString &uuid)
{
    for (ModuleObject *plugin : plugins) {
        for (TDCBaseExtensionObject *model : plugin->modelList()) {
            if (model->modelUUID() == uuid)
                return model;
        }
    }
    return nullptr;
}

} // namespace tessaron
