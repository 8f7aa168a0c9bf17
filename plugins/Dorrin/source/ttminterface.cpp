#include "ttminterface.h"

#include <QtQml>

#include "tdc/dorrin.h"
#include "ttmchart.h"
#include "ttmwrapper.h"

void TTMInterface::registerTypes(const char *)
{
    // The views reach the chart through the model; QML needs the type to read its members.
    qRegisterMetaType<TTMChart *>("TTMChart*");
    qRegisterMetaType<QVector<uint>>("QVector<uint>");
}

QString TTMInterface::name()
{
    return QStringLiteral("TTM");
}

bool TTMInterface::isCompatible(TessaronModule *module)
{
    return dynamic_cast<Dorrin *>(module) != nullptr;
}

QString TTMInterface::icon()
{
    return QStringLiteral("ttm");
}

QString TTMInterface::view()
{
    return QStringLiteral("qrc:/plugin/dorrin/qml/TTMView.qml");
}

QString TTMInterface::uuid()
{
    return QStringLiteral("TTMView");
}

int TTMInterface::priority()
{
    return 8192;
}

QString TTMInterface::version()
{
    return QStringLiteral("1.0.0");
}

TDCBaseExtensionObject *TTMInterface::createModel(TessaronModule *module, QObject *backend)
{
    auto *tagger = dynamic_cast<Dorrin *>(module);
    return tagger ? new TTMWrapper(tagger, backend, 100) : nullptr;
}
