#include "plugin-contract/tdcbaseextensionobject.h"

#include <QDebug>
#include <QSettings>
#include <QUuid>
#include <QVariant>

#include "tdc/tessaronmodule.h"

QString moduleVersionText(const TessaronVersion &version)
{
    return QStringLiteral("v%1.%2.%3")
        .arg(unsigned(version.major))
        .arg(unsigned(version.minor))
        .arg(unsigned(version.patch));
}

TDCBaseExtensionObject::TDCBaseExtensionObject(TessaronModule *module, QObject *parent)
    : QObject(parent),
      m_modelUUID(QUuid::createUuid().toString(QUuid::WithBraces)),
      m_module(module)
{
    if (module) {
        m_hwVersion = moduleVersionText(module->hardwareVersion());
        m_swVersion = moduleVersionText(module->softwareVersion());
    }
}

TDCBaseExtensionObject::~TDCBaseExtensionObject() = default;

void TDCBaseExtensionObject::releaseModule()
{
    m_module = nullptr;
}

void TDCBaseExtensionObject::setModelUUID(QString modelUUID)
{
    m_modelUUID = std::move(modelUUID);
}

void TDCBaseExtensionObject::saveModelSettings(QSettings *settings)
{
    settings->setValue(QStringLiteral("modelUUID"), m_modelUUID);
    for (const QString &name : qAsConst(m_persistedProperties))
        settings->setValue(name, property(name.toUtf8().constData()));
}

void TDCBaseExtensionObject::loadModelSettings(QSettings *settings)
{
    const QVariant stored = settings->value(QStringLiteral("modelUUID"));
    setModelUUID(stored.isValid() ? stored.toString()
                                  : QUuid::createUuid().toString(QUuid::WithBraces));
    const QStringList keys = settings->childKeys();
    for (const QString &key : keys) {
        const QByteArray name = key.toUtf8();
        // setProperty on an undeclared name attaches a dynamic property and answers false.
        if (!setProperty(name.constData(), settings->value(key)))
            qWarning() << "Property" << key << "not found.";
    }
}
