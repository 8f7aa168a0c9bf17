#include "tessaron/application.h"

#include <QtQml>

#include "plugin-contract/tdcfrontend.h"

namespace tessaron {

void registerFrontendTypes()
{
    const QString reason = QStringLiteral("Error: only enums");
    qmlRegisterUncreatableMetaObject(TDCFrontend::staticMetaObject, "TDCFrontend", 1, 0,
                                     "EConnectionStatus", reason);
    qmlRegisterUncreatableMetaObject(TDCFrontend::staticMetaObject, "TDCFrontend", 1, 0, "EEdge",
                                     reason);
}

} // namespace tessaron
