#pragma once
// Finds and loads the measurement plugins and links a board's hardware modules to them.
// A file that is not a plugin is reported and skipped; the others load.
//
// Ownership: the ModuleObjects are returned to the caller (they live for the whole run); the
// plugin libraries stay loaded until the process ends. Threads: GUI thread only.

#include <QString>
#include <QVector>

#include <vector>

class ModuleObject;
class QObject;
class TessaronModule;

namespace tessaron {

// The folder searched for plugins: `folder` inside the application folder, or inside its
// parent when the application folder is named "debug" or "release" (any case).
QString pluginsPath(const QString &applicationDir, const QString &folder);

// Whether a file in a plugin folder is tried as a plugin library.
bool looksLikePluginLibrary(const QString &fileName);

// Loads every plugin of every sub-folder of the plugins folder (sub-folders and files in name
// order, so the load order is the same on every machine).
QVector<ModuleObject *> loadPluginModules(const QString &applicationDir, const QString &folder);

// For each module, in the given order, the first plugin (in load order) that accepts it
// creates a model with `backend` as parent; the model is appended to that plugin's list.
void linkHardwareAndPluginModules(const std::vector<TessaronModule *> &modules,
                                  const QVector<ModuleObject *> &plugins, QObject *backend);

// The first model whose identifier equals `uuid`, or null.
QObject *findModelByUUID(const QVector<ModuleObject *> &plugins, const QString &uuid);

} // namespace tessaron
