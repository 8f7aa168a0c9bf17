#pragma once
// Root object of the legacy histogram plugin: serves the histogrammer of older firmware
// (`TDCOldHistogrammerModule`).

#include "plugin-contract/basepluginterface.h"

class HistogramInterface : public BasePluginInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "plugins.BasePlugin/1.0")
    Q_INTERFACES(BasePluginInterface)

public:
    using BasePluginInterface::BasePluginInterface;

    void registerTypes(const char *uri) override;

public slots:
    QString name() override;
    bool isCompatible(TessaronModule *module) override;
    QString icon() override;
    QString view() override;
    QString uuid() override;
    int priority() override;
    QString version() override;
    TDCBaseExtensionObject *createModel(TessaronModule *module, QObject *backend) override;
};
