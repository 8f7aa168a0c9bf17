#include "tdcoldhistogrammerwrapper.h"

#include <QDebug>
#include <QMetaObject>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <cmath>

#include "chartelle/filter1d.h"
#include "histogramtextfile.h"
#include "tdc/tdcoldhistogrammermodule.h"

namespace {
std::atomic<unsigned> g_wrapperCount{0};

constexpr int kOffsetDelayMs = 200;
constexpr int kFirstForcePushMs = 2500;

bool sameDouble(double a, double b)
{
    return std::abs(a - b) * 1e12 <= std::min(std::abs(a), std::abs(b));
}

bool validEdge(int edge)
{
    return edge == TDCChannel::RISING || edge == TDCChannel::FALLING || edge == TDCChannel::BOTH;
}

using Duration = TDCOldHistogrammerModule::duration;
} // namespace

// Shared with the callbacks the wrapper installs: they may still run on the library's thread
// while the wrapper goes away, so they reach it only through this guarded pointer.
struct TDCOldHistogrammerWrapper::Inbox {
    std::mutex mutex;
    TDCOldHistogrammerWrapper *receiver = nullptr;
};

TDCOldHistogrammerWrapper::TDCOldHistogrammerWrapper(TDCOldHistogrammerModule *module, QObject *backend)
    : TDCBaseExtensionObject(module, backend),
      m_module(module),
      m_inbox(std::make_shared<Inbox>()),
      m_dataContainer(new Filter1D(this))
{
    qRegisterMetaType<QVector<double>>("QVector<double>");
    m_name = QStringLiteral("Histogram %1").arg(g_wrapperCount++);
    m_persistedProperties << QStringLiteral("refCH") << QStringLiteral("refPolarity") << QStringLiteral("measCH")
                          << QStringLiteral("measPolarity") << QStringLiteral("bitTrunc")
                          << QStringLiteral("timeOffset") << QStringLiteral("autopush") << QStringLiteral("name");

    if (m_module) {
        m_bitOverflow = m_module->bitOverflow;
        m_binAddrWidth = m_module->bin_addr_width;
        m_binDataWidth = m_module->bin_data_width;
    }
    const unsigned bitCoarse = backend ? backend->property("bitCoarse").toUInt() : 0;
    const unsigned bitFine = backend ? backend->property("bitFine").toUInt() : 0;
    const double minBinWidth = backend ? backend->property("minBinWidth").toDouble() : 0;
    m_constants = legacyConstants(bitCoarse, bitFine, m_bitOverflow, m_binAddrWidth, minBinWidth);

    m_forcePushTimer.setInterval(kFirstForcePushMs);
    connect(&m_forcePushTimer, &QTimer::timeout, this, &TDCOldHistogrammerWrapper::forcePushTick);
    m_offsetTimer.setSingleShot(true);
    m_offsetTimer.setInterval(kOffsetDelayMs);
    connect(&m_offsetTimer, &QTimer::timeout, this, &TDCOldHistogrammerWrapper::setTDCHistTimeOffset);
    connect(this, &TDCOldHistogrammerWrapper::newData, this, &TDCOldHistogrammerWrapper::updateData);
    connect(this, &TDCOldHistogrammerWrapper::areaChanged, this, &TDCOldHistogrammerWrapper::updateArea);
    m_elapsed.start();

    if (m_module) {
        qDebug().noquote() << "Settings binWidth to 10ps";
        setBinWidth(1e-11);
        {
            std::lock_guard<std::mutex> lock(m_moduleMutex);
            m_isActive = m_module->isStarted(false);
            // A window armed on a histogram that already runs ends with the one change the
            // board reports (running → stopped); the state must start from the truth to see it.
            m_state = m_isActive;
            m_timeOffset = m_module->getTimeOffset(false).count();
            m_module->disableTimeTrig();
        }
        installCallbacks();
    }
    emit areaChanged(currentArea());
    clearChart();
}

TDCOldHistogrammerWrapper::~TDCOldHistogrammerWrapper()
{
    // The backend releases every model before it destroys the modules; this covers a model
    // deleted while its module lives on.
    releaseModule();
}

void TDCOldHistogrammerWrapper::installCallbacks()
{
    std::shared_ptr<Inbox> inbox = m_inbox;
    m_module->setCallback([inbox](std::mutex &libraryMutex, const std::vector<std::uint64_t> &counts) {
        QVector<double> data;
        std::uint64_t sum = 0;
        {
            std::lock_guard<std::mutex> lock(libraryMutex);
            data.reserve(int(counts.size()));
            for (std::uint64_t c : counts) {
                data.append(double(c));
                sum += c;
            }
        }
        std::lock_guard<std::mutex> lock(inbox->mutex);
        if (inbox->receiver)
            emit inbox->receiver->newData(data, sum); // queued: the wrapper lives on the GUI thread
    });
    m_module->setStateChangeCallback([inbox](bool running) {
        std::lock_guard<std::mutex> lock(inbox->mutex);
        if (TDCOldHistogrammerWrapper *receiver = inbox->receiver)
            QMetaObject::invokeMethod(receiver, [receiver, running] { receiver->setState(running); },
                                      Qt::QueuedConnection);
    });
    std::lock_guard<std::mutex> lock(m_inbox->mutex);
    m_inbox->receiver = this;
}

void TDCOldHistogrammerWrapper::releaseModule()
{
    {
        std::lock_guard<std::mutex> lock(m_inbox->mutex);
        m_inbox->receiver = nullptr;
    }
    m_forcePushTimer.stop();
    m_offsetTimer.stop();
    TDCBaseExtensionObject::releaseModule();
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    if (m_module) {
        m_module->setCallback({});
        m_module->setStateChangeCallback({});
        m_module = nullptr;
    }
}

QRectF TDCOldHistogrammerWrapper::currentArea() const
{
    return QRectF(m_timeOffset, 0, windowFSR(), 100);
}

double TDCOldHistogrammerWrapper::windowFSR() const
{
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    return m_module ? m_module->getFSR().count() : 0;
}

double TDCOldHistogrammerWrapper::binWidth() const
{
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    return m_module ? m_module->getBinW().count() : 0;
}

int TDCOldHistogrammerWrapper::refCH() const
{
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    return m_module ? m_module->getRefCH().first : 0;
}

int TDCOldHistogrammerWrapper::refPolarity() const
{
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    return m_module ? int(m_module->getRefCH().second) : int(TDCChannel::RISING);
}

int TDCOldHistogrammerWrapper::measCH() const
{
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    return m_module ? m_module->getMeasCH().first : 0;
}

int TDCOldHistogrammerWrapper::measPolarity() const
{
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    return m_module ? int(m_module->getMeasCH().second) : int(TDCChannel::RISING);
}

uint TDCOldHistogrammerWrapper::bitTrunc() const
{
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    return m_module ? m_module->getBitTrunc(false) : 0;
}

double TDCOldHistogrammerWrapper::timeOffset() const
{
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    return m_module ? m_module->getTimeOffset(false).count() : m_timeOffset;
}

// --- parameters ------------------------------------------------------------------------

void TDCOldHistogrammerWrapper::setBinWidth(double binWidth)
{
    qDebug().noquote() << "Setting binWidth to: " + QString::number(binWidth);
    if (!std::isfinite(binWidth) || binWidth <= 0 || sameDouble(binWidth, this->binWidth()))
        return;
    startParameterTask(Param::BinWidth, binWidth);
}

void TDCOldHistogrammerWrapper::setWindowFSR(double windowFSR)
{
    qDebug().noquote() << "Setting windowFSR to: " + QString::number(windowFSR);
    if (!std::isfinite(windowFSR) || windowFSR <= 0 || sameDouble(windowFSR, this->windowFSR()))
        return;
    startParameterTask(Param::WindowFSR, windowFSR);
}

void TDCOldHistogrammerWrapper::setBitTrunc(uint bitTrunc)
{
    qDebug().noquote() << "Setting bitTrunc to: " + QString::number(bitTrunc);
    if (bitTrunc == this->bitTrunc() || bitTrunc > m_constants.maxBitTrunc)
        return;
    startParameterTask(Param::BitTrunc, bitTrunc);
}

void TDCOldHistogrammerWrapper::startParameterTask(Param param, double value)
{
    static const char *const names[] = {"binWidth", "windowFSR", "bitTrunc"};
    const QString name = QString::fromLatin1(names[int(param)]);
    qDebug().noquote() << "Setup runner to set " + name + " asynchronously";
    TDCOldHistogrammerModule *module = m_module;
    startTask([this, module, param, value, name] {
        double binW = 0, fsr = 0;
        uint trunc = 0;
        {
            std::lock_guard<std::mutex> lock(m_moduleMutex);
            switch (param) {
            case Param::BinWidth: module->setBinW(Duration(value)); break;
            case Param::WindowFSR: module->setFSR(Duration(value)); break;
            case Param::BitTrunc: module->setBitTrunc(static_cast<unsigned char>(value)); break;
            }
            resetLocked();
            binW = module->getBinW().count();
            fsr = module->getFSR().count();
            trunc = module->getBitTrunc(false);
        }
        QMetaObject::invokeMethod(this, [this] { clearChart(); }, Qt::QueuedConnection);
        emit binWidthChanged(binW);
        emit windowFSRChanged(fsr);
        emit bitTruncChanged(trunc);
        QMetaObject::invokeMethod(this, [this, fsr] { emit areaChanged(QRectF(m_timeOffset, 0, fsr, 100)); },
                                  Qt::QueuedConnection);
        qInfo().noquote() << name + " correclty set";
    });
    qDebug().noquote() << "Runner set correclty for " + name;
}

void TDCOldHistogrammerWrapper::setTimeOffset(double timeOffset)
{
    qDebug().noquote() << "Setting timeOffset to: " + QString::number(timeOffset);
    if (!std::isfinite(timeOffset))
        return;
    const double highest = std::max(0.0, m_constants.maxFSR - windowFSR());
    timeOffset = std::clamp(timeOffset, 0.0, highest);
    if (sameDouble(timeOffset, m_timeOffset))
        return;
    m_timeOffset = timeOffset;
    if (!m_offsetTimer.isActive()) {
        qDebug().noquote() << "Setting timeOffset Timer";
        m_offsetTimer.start();
    }
}

void TDCOldHistogrammerWrapper::setTDCHistTimeOffset()
{
    // The offset is taken now, on the GUI thread: later changes start a timer of their own.
    const double offset = m_timeOffset;
    TDCOldHistogrammerModule *module = m_module;
    startTask([this, module, offset] {
        qDebug().noquote() << "Setting time offset to: " + QString::number(offset);
        double applied = 0, fsr = 0;
        {
            std::lock_guard<std::mutex> lock(m_moduleMutex);
            module->setTimeOffset(Duration(offset));
            resetLocked();
            applied = module->getTimeOffset(false).count();
            fsr = module->getFSR().count();
        }
        QMetaObject::invokeMethod(this, [this] { clearChart(); }, Qt::QueuedConnection);
        emit timeOffsetChanged(applied);
        emit areaChanged(QRectF(applied, 0, fsr, 100));
    });
}

void TDCOldHistogrammerWrapper::resetLocked()
{
    m_module->resetBinsCount();
    if (m_isActive)
        m_module->startIntegration();
}

void TDCOldHistogrammerWrapper::clearChart()
{
    restartElapsed();
    emit newData(QVector<double>(1 << std::min(m_binAddrWidth, 24u), 0.0), 0);
}

void TDCOldHistogrammerWrapper::restartElapsed()
{
    m_elapsed.restart();
    m_previousNs = 0;
    m_previousTotal = 0;
}

void TDCOldHistogrammerWrapper::resetIntegration()
{
    qDebug().noquote() << "Resetting bins counts...";
    {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        if (m_module)
            resetLocked();
    }
    clearChart();
}

void TDCOldHistogrammerWrapper::resetBtnFired()
{
    resetIntegration();
}

// --- channels ---------------------------------------------------------------------------

void TDCOldHistogrammerWrapper::setRefCH(int ch_index, int ch_edge)
{
    qDebug().noquote() << QStringLiteral("Setting refCH to: %1 with edge %2").arg(ch_index).arg(ch_edge);
    setChannel(true, ch_index, ch_edge);
}

void TDCOldHistogrammerWrapper::setMeasCH(int ch_index, int ch_edge)
{
    qDebug().noquote() << QStringLiteral("Setting measCH to: %1 with edge %2").arg(ch_index).arg(ch_edge);
    setChannel(false, ch_index, ch_edge);
}

void TDCOldHistogrammerWrapper::setRefChannel(int channel)
{
    qDebug().noquote() << "Setting refChannel to: " + QString::number(channel);
    setChannel(true, channel, refPolarity());
}

void TDCOldHistogrammerWrapper::setRefPolarity(int polarity)
{
    qDebug().noquote() << "Setting refPolarity to: " + QString::number(polarity);
    setChannel(true, refCH(), polarity);
}

void TDCOldHistogrammerWrapper::setMeasChannel(int channel)
{
    qDebug().noquote() << "Setting measChannel to: " + QString::number(channel);
    setChannel(false, channel, measPolarity());
}

void TDCOldHistogrammerWrapper::setMeasPolarity(int polarity)
{
    qDebug().noquote() << "Setting measPolarity to: " + QString::number(polarity);
    setChannel(false, measCH(), polarity);
}

void TDCOldHistogrammerWrapper::setChannel(bool reference, int channel, int edge)
{
    if (!m_module)
        return;
    const int channels = int(m_module->numChannels());
    if (channel < 0 || channel >= channels || !validEdge(edge)) {
        qWarning().noquote() << QStringLiteral("Channel %1 with edge %2 refused: the board has channels 0 to %3 "
                                               "and edges 1 (rising), 2 (falling) and 3 (both).")
                                    .arg(channel).arg(edge).arg(channels - 1);
        return;
    }
    const QString which = reference ? QStringLiteral("refCH") : QStringLiteral("measCH");
    {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        const auto current = reference ? m_module->getRefCH() : m_module->getMeasCH();
        if (current.first == channel && int(current.second) == edge)
            return;
    }
    qDebug().noquote() << "Setup runner to set " + which + " asynchronously";
    TDCOldHistogrammerModule *module = m_module;
    startTask([this, module, reference, channel, edge, which] {
        {
            std::lock_guard<std::mutex> lock(m_moduleMutex);
            const auto ch = std::uint16_t(channel);
            const auto e = TDCChannel::edgeTrigger_type(edge);
            if (reference)
                module->setRefCH(ch, e, false);
            else
                module->setMeasCH(ch, e, false);
        }
        if (reference) {
            emit refCHChanged();
            emit refPolarityChanged();
        } else {
            emit measCHChanged();
            emit measPolarityChanged();
        }
        qInfo().noquote() << which + " correclty set";
    });
    qDebug().noquote() << "Runner set correclty for " + which;
}

// --- running, pushing, time trigger -------------------------------------------------------

void TDCOldHistogrammerWrapper::setIsActive(bool isActive)
{
    qDebug().noquote() << QStringLiteral("Try to set property isActive of Histogrammer[%1] from: %2 to: %3")
                              .arg(modelUUID()).arg(m_isActive).arg(isActive);
    if (isActive == m_isActive)
        return;
    qInfo().noquote() << QStringLiteral("Set isActive property of Histogrammer[%1] to: %2").arg(modelUUID()).arg(isActive);
    m_isActive = isActive;
    emit isActiveChanged(isActive);
    TDCOldHistogrammerModule *module = m_module;
    const QString uuid = modelUUID();
    startTask([this, module, isActive, uuid] {
        {
            std::lock_guard<std::mutex> lock(m_moduleMutex);
            if (isActive)
                module->startIntegration();
            else
                module->pauseIntegration();
        }
        if (isActive)
            QMetaObject::invokeMethod(this, [this] { restartElapsed(); }, Qt::QueuedConnection);
        qInfo().noquote() << QStringLiteral("Integration of the Histogrammer[%1] start/stop(%2) correctly")
                                 .arg(uuid).arg(isActive);
    });
    updateForcePush();
}

void TDCOldHistogrammerWrapper::updateForcePush()
{
    // The views' refresh switch keeps the timer going on its own; otherwise it runs while the
    // histogram runs and pushing is wanted.
    const bool run = (m_isActive && m_forceAutopush) || m_refreshActive;
    if (run && !m_forcePushTimer.isActive())
        m_forcePushTimer.start();
    else if (!run)
        m_forcePushTimer.stop();
}

void TDCOldHistogrammerWrapper::forcePushTick()
{
    bool started = false;
    {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        started = m_module && m_module->isStarted(false);
    }
    if (!started)
        return;
    TDCOldHistogrammerModule *module = m_module;
    startTask([this, module] {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        module->forcePush();
    });
}

void TDCOldHistogrammerWrapper::setRefreshActive(bool refreshActive)
{
    if (refreshActive == m_refreshActive)
        return;
    m_refreshActive = refreshActive;
    updateForcePush();
    emit refreshActiveChanged(refreshActive);
}

void TDCOldHistogrammerWrapper::setRefreshRate(int refreshRate)
{
    if (refreshRate <= 0) {
        qWarning().noquote() << "Refresh rate of " + QString::number(refreshRate) + " s refused: it must be at least 1 s.";
        return;
    }
    if (refreshRate == m_refreshRate && m_forcePushTimer.interval() == refreshRate * 1000)
        return;
    m_refreshRate = refreshRate;
    m_forcePushTimer.setInterval(refreshRate * 1000);
    emit refreshRateChanged(refreshRate);
}

void TDCOldHistogrammerWrapper::setAutopush(bool autopush)
{
    if (autopush == m_autopush)
        return;
    {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        if (m_module)
            m_module->setAutoPush(autopush);
    }
    m_autopush = autopush;
    emit autopushChanged(autopush);
}

void TDCOldHistogrammerWrapper::setForceAutopush(bool forceAutopush)
{
    if (forceAutopush == m_forceAutopush)
        return;
    m_forceAutopush = forceAutopush;
    updateForcePush();
    emit forceAutopushChanged(forceAutopush);
}

void TDCOldHistogrammerWrapper::setEventTrigger(int eventTrigger)
{
    m_eventTrigger = eventTrigger;
}

void TDCOldHistogrammerWrapper::setName(QString name)
{
    if (name == m_name)
        return;
    m_name = std::move(name);
    emit nameChanged(m_name);
}

void TDCOldHistogrammerWrapper::setState(bool state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
}

void TDCOldHistogrammerWrapper::startTimeTrigger(double timeInterval)
{
    qDebug().noquote() << "Starting TIME TRIGGER...";
    if (!m_isActive || !(timeInterval > 0))
        return;
    qDebug().noquote() << "Setup runner for TIME TRIGGER";
    TDCOldHistogrammerModule *module = m_module;
    startTask([this, module, timeInterval] {
        {
            std::lock_guard<std::mutex> lock(m_moduleMutex);
            module->setTimeTrig(Duration(timeInterval));
            module->startIntegration();
        }
        QMetaObject::invokeMethod(this, [this] {
            if (m_isTimeTrigActive)
                return;
            m_isTimeTrigActive = true;
            emit isTimeTrigActiveChanged(true);
        }, Qt::QueuedConnection);
        qInfo().noquote() << "TIME TRIGGER runner completed";
    });
    qDebug().noquote() << "TIME TRIGGER runner set correctly";
}

void TDCOldHistogrammerWrapper::disableTimeTrigger()
{
    if (!m_isTimeTrigActive)
        return;
    m_isTimeTrigActive = false;
    emit isTimeTrigActiveChanged(false);
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    if (!m_module)
        return;
    m_module->disableTimeTrig();
    resetLocked();
}

// --- data ---------------------------------------------------------------------------------

void TDCOldHistogrammerWrapper::updateData(QVector<double> data, qulonglong num_events)
{
    qDebug().noquote() << "Updating histogram data...";
    m_integrationEvent = num_events;
    const std::int64_t now = m_elapsed.nsecsElapsed();
    m_integrationTime = quint64(now / 1000000);
    m_eventsRate = ::eventsRate(m_previousTotal, num_events, m_previousNs, now, m_eventsRate);
    m_previousTotal = num_events;
    m_previousNs = now;

    // Bin i counts at its left edge; an empty histogram has no mean (0 / 0).
    double weighted = 0;
    for (int i = 0; i < data.size(); ++i)
        weighted += i * data[i];
    const double total = double(num_events);
    const double meanIndex = weighted / total;
    double spread = 0;
    for (int i = 0; i < data.size(); ++i)
        spread += data[i] / total * (i - meanIndex) * (i - meanIndex);
    const double w = binWidth();
    m_mean = m_dataContainer->area().left() + w * meanIndex;
    m_std = w * std::sqrt(spread);

    m_dataContainer->setData(data);
    emit integrationEventChanged();
    emit integrationTimeChanged();
    emit eventsRateChanged();
    emit meanChanged();
    emit stdChanged();
}

void TDCOldHistogrammerWrapper::updateArea(QRectF newArea)
{
    m_dataContainer->setArea(newArea);
}

void TDCOldHistogrammerWrapper::exportCSV(QString filePath)
{
    // The histogram plugin's format; the legacy bins are counted from 0, not from the offset.
    const QVector<double> data = m_dataContainer->data();
    std::string block;
    histfile::appendHistogramBlock(block, m_name.toStdString(), 0.0, binWidth(), data.constData(),
                                   std::size_t(data.size()));
    if (!histfile::appendToFile(filePath, block))
        qWarning().noquote() << "Cannot write the histogram to " + filePath;
}
