#pragma once
// The QML extension plugin: registers every chart type under "Chartelle" 1.0 and the shared
// shader programs. Loaded by the QML engine on "import Chartelle 1.0".
#include "chartelle/chartelle_export.h"

#include <QQmlExtensionPlugin>

class QMLChartExtensionPlugin : public QQmlExtensionPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.orvell.QMLChartExtensionPlugin/1.0")

public:
    void registerTypes(const char *uri) override;
};

namespace chartelle {
// Registers the chart types and programs; the plugin calls it, and programs that link the
// library directly (tests, the gallery) may call it instead of importing the plugin.
CHARTELLE_EXPORT void registerChartelleTypes();
}  // namespace chartelle
