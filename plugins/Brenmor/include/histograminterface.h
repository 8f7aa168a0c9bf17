#pragma once
// Root object of the histogram plugin: serves every start–stop histogrammer
// (`TDCHistogrammerModule`) of a board and registers the QML types of
// "TDCFrontend.Histogrammer" 1.0.

#include "plugin-contract/basepluginterface.h"

class NewHistogramInterface : public BasePluginInterface {
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
