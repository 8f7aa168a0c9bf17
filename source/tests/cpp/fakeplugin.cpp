#include "fakeplugin.h"

FakeModel::FakeModel(TessaronModule *module, QObject *parent) : TDCBaseExtensionObject(module, parent)
{
    m_persistedProperties = QStringList{QStringLiteral("gain")};
}

FakePlugin::FakePlugin(QString name, QSet<std::uint32_t> accepted, int priority)
    : m_name(std::move(name)), m_accepted(std::move(accepted)), m_priority(priority)
{
}

void FakePlugin::registerTypes(const char *)
{
    ++registerTypesCalls;
    setProperty("registerTypesCalls", registerTypesCalls);
}

bool FakePlugin::isCompatible(TessaronModule *module)
{
    return module && m_accepted.contains(module->typeID());
}

TDCBaseExtensionObject *FakePlugin::createModel(TessaronModule *module, QObject *backend)
{
    auto *model = new FakeModel(module, backend);
    model->createdBy = m_name;
    return model;
}
