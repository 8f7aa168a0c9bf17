#include "programmablethresholdinterface.h"

#include "programmablethresholdwrapper.h"
#include "tdc/programmablethreshold.h"

void ProgrammableThresholdInterface::registerTypes(const char *)
{
}

QString ProgrammableThresholdInterface::name()
{
    return QStringLiteral("Programmable Threshold");
}

bool ProgrammableThresholdInterface::isCompatible(TessaronModule *module)
{
    return dynamic_cast<ProgrammableThreshold *>(module) != nullptr;
}

QString ProgrammableThresholdInterface::icon()
{
    return QStringLiteral("iic");
}

QString ProgrammableThresholdInterface::view()
{
    return QStringLiteral("qrc:/plugin/estrel/ProgrammableThresholdView.qml");
}

QString ProgrammableThresholdInterface::uuid()
{
    return QStringLiteral("ProgrammableThresholdView");
}

int ProgrammableThresholdInterface::priority()
{
    return 1026;
}

QString ProgrammableThresholdInterface::version()
{
    return QStringLiteral("1.1.0");
}

TDCBaseExtensionObject *ProgrammableThresholdInterface::createModel(TessaronModule *module, QObject *backend)
{
    auto *dac = dynamic_cast<ProgrammableThreshold *>(module);
    return dac ? new ProgrammableThresholdWrapper(dac, backend) : nullptr;
}
