#include "tdccounterwrapper.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMetaObject>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "tdc/tdcfennick.h"

namespace {
bool sameDouble(double a, double b)
{
    return std::abs(a - b) <= 1e-12 * std::max(std::abs(a), std::abs(b));
}

uint channelCount(QObject *backend)
{
    return backend ? backend->property("numCh").toUInt() : 0;
}
} // namespace

// Shared by the wrapper and the callback it installs: the callback may still be running on
// the library's thread while the wrapper goes away, so it reaches the wrapper only through
// this guarded pointer.
struct TDCCounterWrapper::Inbox {
    std::mutex mutex;
    TDCCounterWrapper *receiver = nullptr;
};

TDCCounterWrapper::TDCCounterWrapper(TDCFennick *module, QObject *backend)
    : TDCBaseExtensionObject(module, backend),
      m_fennick(module),
      m_inbox(std::make_shared<Inbox>()),
      m_history(int(channelCount(backend)), 100),
      m_counterType(module && module->inputLogic() != 0 ? QStringLiteral("InputLogic")
                                                        : QStringLiteral("BeltBus"))
{
    qRegisterMetaType<QVector<double>>("QVector<double>");
    qRegisterMetaType<QVector<QVector<double>>>("QVector<QVector<double> >");

    m_inbox->receiver = this;
    if (m_fennick) {
        const bool boardPushes = m_fennick->autoPushEnabled();
        if (boardPushes != m_autopush) {
            m_autopush = boardPushes;
            m_fennick->setAutoPush(m_autopush);
            emit autopushChanged();
        }
        installCallback();
    }
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &TDCCounterWrapper::onDestruction);
}

TDCCounterWrapper::~TDCCounterWrapper()
{
    // The backend releases every model before it destroys the modules; this covers a model
    // deleted while its module lives on.
    releaseModule();
}

void TDCCounterWrapper::installCallback()
{
    std::shared_ptr<Inbox> inbox = m_inbox;
    m_fennick->setCallback([inbox](std::mutex &libraryMutex, std::chrono::duration<double> dt,
                                   const std::vector<std::uint32_t> &counts) {
        std::vector<std::uint32_t> copy;
        {
            std::lock_guard<std::mutex> lock(libraryMutex);
            copy = counts;
        }
        std::lock_guard<std::mutex> lock(inbox->mutex);
        TDCCounterWrapper *receiver = inbox->receiver;
        if (!receiver)
            return;
        const double seconds = dt.count();
        QMetaObject::invokeMethod(
            receiver,
            [receiver, seconds, copy = std::move(copy)] { receiver->applySample(seconds, copy); },
            Qt::QueuedConnection);
    });
}

void TDCCounterWrapper::releaseModule()
{
    {
        std::lock_guard<std::mutex> lock(m_inbox->mutex);
        m_inbox->receiver = nullptr;
    }
    if (m_fennick) {
        m_fennick->setCallback(TDCFennick::Callback());
        m_fennick = nullptr;
    }
    TDCBaseExtensionObject::releaseModule();
}

void TDCCounterWrapper::applySample(double dt, const std::vector<std::uint32_t> &counts)
{
    if (!m_history.applySample(dt, counts))
        return;
    if (m_autopush) {
        emit tdcClockChanged();
        emit countersChanged();
    }
}

void TDCCounterWrapper::onDestruction()
{
    // Stop the board pushing before the program ends; the property keeps its value.
    if (m_autopush && m_fennick)
        m_fennick->setAutoPush(false);
}

void TDCCounterWrapper::setIntegrationTime(double integrationTime)
{
    if (sameDouble(integrationTime, m_integrationTime))
        return;
    qDebug().noquote() << "Set Counters integrationTime to " + QString::number(integrationTime);
    m_integrationTime = integrationTime;
    if (m_fennick)
        m_fennick->setIntegrationTime(integrationTime);
    emit integrationTimeChanged();
}

void TDCCounterWrapper::setAutopush(bool autopush)
{
    if (autopush == m_autopush)
        return;
    m_autopush = autopush;
    if (m_fennick)
        m_fennick->setAutoPush(autopush);
    emit autopushChanged();
}

void TDCCounterWrapper::setIntegrationTick(uint integrationTick)
{
    // A history longer than this is no use to a view and would only exhaust memory.
    integrationTick = std::min<uint>(integrationTick, 1u << 20);
    if (integrationTick == m_integrationTick)
        return;
    m_integrationTick = integrationTick;
    m_history.setLength(int(integrationTick));
    emit integrationTickChanged();
    emit countersChanged();
}
