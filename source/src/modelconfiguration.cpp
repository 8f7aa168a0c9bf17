#include "tessaron/modelconfiguration.h"

#include <QSettings>

#include "plugin-contract/moduleobject.h"
#include "plugin-contract/tdcbaseextensionobject.h"

namespace tessaron {

namespace {
const QString kGroup = QStringLiteral("pluginModels");
}

void saveModelConfiguration(QSettings &settings, const QVector<ModuleObject *> &plugins)
{
    settings.beginGroup(kGroup);
    for (ModuleObject *plugin : plugins) {
        const QList<TDCBaseExtensionObject *> models = plugin->modelList();
        settings.beginWriteArray(plugin->name(), models.size());
        for (int i = 0; i < models.size(); ++i) {
            settings.setArrayIndex(i);
            models[i]->saveModelSettings(&settings);
        }
        settings.endArray();
    }
    settings.endGroup();
}

bool loadModelConfiguration(QSettings &settings, const QVector<ModuleObject *> &plugins)
{
    if (settings.allKeys().isEmpty())
        return false;
    settings.beginGroup(kGroup);
    for (ModuleObject *plugin : plugins) {
        const QList<TDCBaseExtensionObject *> models = plugin->modelList();
        settings.beginReadArray(plugin->name());
        for (int i = 0; i < models.size(); ++i) {
            settings.setArrayIndex(i);
            models[i]->loadModelSettings(&settings);
        }
        settings.endArray();
    }
    settings.endGroup();
    return true;
}

} // namespace tessaron
