#include "counterinterface.h"

#include "tdc/tdcfennick.h"
#include "tdccounterwrapper.h"

void CounterInterface::registerTypes(const char *)
{
}

QString CounterInterface::name()
{
    return QStringLiteral("Counter");
}

bool CounterInterface::isCompatible(TessaronModule *module)
{
    return dynamic_cast<TDCFennick *>(module) != nullptr;
}

QString CounterInterface::icon()
{
    return QStringLiteral("stopwatch");
}

QString CounterInterface::view()
{
    return QStringLiteral("qrc:/plugin/fennick/CounterView.qml");
}

QString CounterInterface::uuid()
{
    return QStringLiteral("CounterView");
}

int CounterInterface::priority()
{
    return 16384;
}

QString CounterInterface::version()
{
    return QStringLiteral("1.2.0");
}

TDCBaseExtensionObject *CounterInterface::createModel(TessaronModule *module, QObject *backend)
{
    auto *counter = dynamic_cast<TDCFennick *>(module);
    return counter ? new TDCCounterWrapper(counter, backend) : nullptr;
}
