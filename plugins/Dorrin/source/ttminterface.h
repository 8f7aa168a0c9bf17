#pragma once
// Root object of the time-tagging plugin: serves every time tagger (`Dorrin`) of a board.

#include "plugin-contract/basepluginterface.h"

class TTMInterface : public BasePluginInterface {
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
