#include "plugin-contract/tdcbaseextensionobject.h"

#include <QDebug>
#include <QSettings>
#include <QThreadPool>
#include <QUuid>
#include <QVariant>

#include <exception>

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

TDCBaseExtensionObject::~TDCBaseExtensionObject()
{
    // A task may hold `this`; the model's memory must outlive it.
    waitForTasks();
}

void TDCBaseExtensionObject::releaseModule()
{
    waitForTasks();
    m_module = nullptr;
}

int TDCBaseExtensionObject::runningTasks() const
{
    std::lock_guard<std::mutex> lock(m_taskMutex);
    return m_runningTasks;
}

bool TDCBaseExtensionObject::startTask(std::function<void()> task)
{
    if (!m_module || !task)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_taskMutex);
        ++m_runningTasks;
    }
    QThreadPool::globalInstance()->start([this, task = std::move(task)] {
        try {
            task();
        } catch (const std::exception &e) {
            qCritical().noquote() << "Model task failed: " + QString::fromUtf8(e.what());
        } catch (...) {
            qCritical().noquote() << "Model task failed: unknown exception";
        }
        // Notified under the lock: the waiter may destroy the model as soon as it sees zero.
        std::lock_guard<std::mutex> lock(m_taskMutex);
        --m_runningTasks;
        m_tasksDone.notify_all();
    });
    return true;
}

void TDCBaseExtensionObject::waitForTasks()
{
    std::unique_lock<std::mutex> lock(m_taskMutex);
    m_tasksDone.wait(lock, [this] { return m_runningTasks == 0; });
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
