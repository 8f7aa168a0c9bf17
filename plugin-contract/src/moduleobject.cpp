#include "plugin-contract/moduleobject.h"

#include "plugin-contract/basepluginterface.h"

ModuleObject::ModuleObject(BasePluginInterface *plugin)
    : QObject(nullptr),
      m_plugin(plugin),
      m_view(plugin->view()),
      m_icon(plugin->icon()),
      m_pluginUuid(plugin->uuid()),
      m_name(plugin->name()),
      m_priority(plugin->priority()),
      m_version(plugin->version())
{
}

QList<TDCBaseExtensionObject *> ModuleObject::takeModels()
{
    QList<TDCBaseExtensionObject *> models;
    models.swap(m_modelList);
    return models;
}
