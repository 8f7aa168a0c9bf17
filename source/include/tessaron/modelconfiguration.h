#pragma once
// Save and load of every plugin model's configuration in the settings store:
//   pluginModels/<plugin name>/size, pluginModels/<plugin name>/<n>/<key>
// Model n of a plugin is matched with stored element n by position.
// Threads: GUI thread only.

#include <QVector>

class ModuleObject;
class QSettings;

namespace tessaron {

void saveModelConfiguration(QSettings &settings, const QVector<ModuleObject *> &plugins);
// False (and nothing read) when the store holds no key at all.
bool loadModelConfiguration(QSettings &settings, const QVector<ModuleObject *> &plugins);

} // namespace tessaron
