// The parameter changes of TDCHistogrammerWrapper: each one stops the board's histogrammer,
// applies the change and restarts it when the wrapper is active. Those that talk to the
// board at length run as tasks on the global thread pool, serialised by the module mutex.
#include "tdchistogrammerwrapper.h"

#include <QDebug>

#include <cmath>

namespace {
// A new value equals the current one within a relative 1e-12.
bool fuzzyEqual(double a, double b)
{
    return std::abs(a - b) * 1e12 <= std::min(std::abs(a), std::abs(b));
}

QString boolText(bool b)
{
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

std::chrono::duration<double> periodOf(int ms)
{
    return std::chrono::duration<double>(ms / 1000.0);
}

const char *nameOf(int change)
{
    static const char *names[] = {"leftBound", "rightBound", "binWidth", "windowFSR", "timeOffset"};
    return names[change];
}

// Raw bounds on the bin grid: the left bound lowered and the right bound raised to the next
// multiple of the bin width, so the range the user asked for is kept whole (remainders taken
// toward minus infinity, whatever the sign of the bound).
void trimToGrid(HistogrammerDevice::BoundsRaw &raw)
{
    const std::int64_t width = raw.binWidth.value();
    std::int64_t left = raw.left.value();
    std::int64_t right = raw.right.value();
    if (width <= 0)
        return;
    std::int64_t r = left % width;
    if (r < 0)
        r += width;
    left -= r;
    r = right % width;
    if (r < 0)
        r += width;
    if (r != 0)
        right += width - r;
    raw.left = left;
    raw.right = right;
}
} // namespace

void TDCHistogrammerWrapper::resetCounters()
{
    m_previousTotal = 0;
    m_integrationBase = 0;
}

void TDCHistogrammerWrapper::enableWhenActive()
{
    if (m_isActive)
        m_device->enable(periodOf(m_refreshPeriod), 0);
}

// --- bounds ---------------------------------------------------------------------------------

void TDCHistogrammerWrapper::startBoundsTask(BoundsChange change, double value)
{
    const QString name = QString::fromLatin1(nameOf(int(change)));
    const bool offset = change == BoundsChange::timeOffset;
    if (!offset)
        qDebug().noquote() << "Setting " + name + " to: " + QString::number(value);
    if (!m_device)
        return;
    if (!std::isfinite(value) || (change == BoundsChange::binWidth && value <= 0)) {
        qWarning().noquote() << "Refusing " + name + " " + QString::number(value) + ": not a usable value";
        return;
    }

    const HistogrammerDevice::Bounds now = currentBounds();
    const double left = now.left.value_or(0);
    const double right = now.right.value_or(0);
    double current = 0;
    switch (change) {
    case BoundsChange::left:
        if (value > m_maxOffset - m_minFSR)
            value = m_maxOffset - m_minFSR;
        else if (value < m_minOffset)
            value = m_minOffset;
        current = left;
        break;
    case BoundsChange::right:
        if (value > m_maxOffset)
            value = m_maxOffset;
        else if (value < m_minOffset + m_minFSR)
            value = m_minOffset + m_minFSR;
        current = right;
        break;
    case BoundsChange::binWidth:
        current = now.binWidth.value_or(0);
        break;
    case BoundsChange::windowFSR:
        if (value < m_minFSR)
            value = m_minFSR;
        if (value > m_maxFSR)
            value = m_maxFSR;
        current = right - left;
        break;
    case BoundsChange::timeOffset:
        if (value > m_maxOffset - (right - left))
            value = m_maxOffset - (right - left);
        else if (value < m_minOffset)
            value = m_minOffset;
        current = m_storedTimeOffset;
        break;
    }
    if (fuzzyEqual(value, current))
        return;
    if (offset) {
        m_storedTimeOffset = value;
        qDebug().noquote() << "Setting " + name + " to: " + QString::number(value);
    }
    qDebug().noquote() << "Setup runner to set " + name + " asynchronously";
    startTask([this, change, value] { runBoundsTask(change, value); });
    qDebug().noquote() << "Runner set correclty for " + name;
}

void TDCHistogrammerWrapper::runBoundsTask(BoundsChange change, double value)
{
    HistogrammerDevice::Bounds applied;
    {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        HistogrammerDevice *device = m_device;
        if (!device)
            return;
        HistogrammerDevice::Bounds bounds = device->getBounds();
        const double left = bounds.left.value_or(0);
        const double right = bounds.right.value_or(0);
        switch (change) {
        case BoundsChange::left:
            bounds.left = value;
            break;
        case BoundsChange::right:
            bounds.right = value;
            break;
        case BoundsChange::binWidth:
            bounds.binWidth = value;
            break;
        case BoundsChange::windowFSR:
            bounds.right = left + value;
            break;
        case BoundsChange::timeOffset:
            // The window keeps its width: the chart shows time offset … time offset + windowFSR.
            bounds.left = value;
            bounds.right = value + (right - left);
            break;
        }
        device->disable(true);
        resetCounters();
        device->setBounds(bounds);
        if (change == BoundsChange::windowFSR)
            storeBounds(device->getBounds());
        if (m_edgesTrim) {
            HistogrammerDevice::BoundsRaw raw = device->getBoundsRaw();
            trimToGrid(raw);
            device->setBoundsRaw(raw);
        }
        applied = device->getBounds();
        if (change != BoundsChange::windowFSR)
            storeBounds(applied);
        enableWhenActive();
    }
    const double left = applied.left.value_or(0);
    const double right = applied.right.value_or(0);
    emit binWidthChanged(applied.binWidth.value_or(0));
    emit rightBoundChanged(right);
    emit leftBoundChanged(left);
    emit windowFSRChanged(right - left);
    emit timeOffsetChanged(left);
    HistogrammerDevice::Bounds cached;
    {
        std::lock_guard<std::mutex> lock(m_cacheMutex);
        cached = m_cachedBounds;
    }
    const double cachedLeft = cached.left.value_or(0);
    emit areaChanged(QRectF(cachedLeft, 0, cached.right.value_or(0) - cachedLeft, 100));
    qInfo().noquote() << QString::fromLatin1(nameOf(int(change))) + " correclty set";
}

void TDCHistogrammerWrapper::setLeftBound(double leftBound)
{
    startBoundsTask(BoundsChange::left, leftBound);
}

void TDCHistogrammerWrapper::setRightBound(double rightBound)
{
    startBoundsTask(BoundsChange::right, rightBound);
}

void TDCHistogrammerWrapper::setBinWidth(double binWidth)
{
    startBoundsTask(BoundsChange::binWidth, binWidth);
}

void TDCHistogrammerWrapper::setWindowFSR(double windowFSR)
{
    startBoundsTask(BoundsChange::windowFSR, windowFSR);
}

void TDCHistogrammerWrapper::setTimeOffset(double timeOffset)
{
    startBoundsTask(BoundsChange::timeOffset, timeOffset);
}

void TDCHistogrammerWrapper::setTDCHistTimeOffset()
{
    startTask([this] {
        const double offset = m_storedTimeOffset;
        qDebug().noquote() << "Setting time offset to: " + QString::number(offset);
        double left = 0;
        {
            std::lock_guard<std::mutex> lock(m_moduleMutex);
            if (!m_device)
                return;
            HistogrammerDevice::Bounds bounds = m_device->getBounds();
            bounds.left = offset;
            m_device->disable(true);
            resetCounters();
            m_device->setBounds(bounds);
            enableWhenActive();
            left = m_device->getBounds().left.value_or(0);
        }
        emit timeOffsetChanged(left);
        HistogrammerDevice::Bounds cached;
        {
            std::lock_guard<std::mutex> lock(m_cacheMutex);
            cached = m_cachedBounds;
        }
        const double cachedLeft = cached.left.value_or(0);
        emit areaChanged(QRectF(cachedLeft, 0, cached.right.value_or(0) - cachedLeft, 100));
    });
}

// --- channels -------------------------------------------------------------------------------

void TDCHistogrammerWrapper::setRefCH(int ch_index, int ch_edge)
{
    qDebug().noquote() << "Setting refCH to: " + QString::number(ch_index) + " with edge " + QString::number(ch_edge);
    if (!m_device)
        return;
    HistogrammerDevice::ChannelAndEdge now;
    {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        now = m_device->getRefCh();
    }
    if (now.channel == ch_index && now.edge == ch_edge)
        return;
    qDebug().noquote() << "Setup runner to set refCH asynchronously";
    startChannelTask(true, {std::uint16_t(ch_index), std::uint8_t(ch_edge)});
    qDebug().noquote() << "Runner set correclty for refCH";
}

void TDCHistogrammerWrapper::setMeasCH(int ch_index, int ch_edge)
{
    qDebug().noquote() << "Setting measCH to: " + QString::number(ch_index) + " with edge " + QString::number(ch_edge);
    if (!m_device)
        return;
    HistogrammerDevice::ChannelAndEdge now;
    {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        now = m_device->getMeasCh();
    }
    if (now.channel == ch_index && now.edge == ch_edge)
        return;
    qDebug().noquote() << "Setup runner to set measCH asynchronously";
    startChannelTask(false, {std::uint16_t(ch_index), std::uint8_t(ch_edge)});
    qDebug().noquote() << "Runner set correclty for measCH";
}

void TDCHistogrammerWrapper::startChannelTask(bool reference, HistogrammerDevice::ChannelAndEdge pair)
{
    startTask([this, reference, pair] {
        {
            std::lock_guard<std::mutex> lock(m_moduleMutex);
            if (!m_device)
                return;
            m_device->disable(true);
            resetCounters();
            if (reference)
                m_device->setRefCh(pair);
            else
                m_device->setMeasCh(pair);
            enableWhenActive();
        }
        if (reference) {
            emit refCHChanged();
            emit refPolarityChanged();
            qInfo().noquote() << "refCH correclty set";
        } else {
            emit measCHChanged();
            emit measPolarityChanged();
            qInfo().noquote() << "measCH correclty set";
        }
    });
}

void TDCHistogrammerWrapper::startMemberTask(ChannelMember member, int value)
{
    static const char *texts[] = {"Setting refChannel to: ", "Setting refPolarity to: ", "Setting measChannel to: ",
                                  "Setting measPolarity to: "};
    qDebug().noquote() << QString::fromLatin1(texts[int(member)]) + QString::number(value);
    if (!m_device)
        return;
    const bool reference = member == ChannelMember::refChannel || member == ChannelMember::refEdge;
    const bool channel = member == ChannelMember::refChannel || member == ChannelMember::measChannel;
    {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        const HistogrammerDevice::ChannelAndEdge now = reference ? m_device->getRefCh() : m_device->getMeasCh();
        if ((channel ? int(now.channel) : int(now.edge)) == value)
            return;
    }
    startTask([this, member, value, reference, channel] {
        {
            std::lock_guard<std::mutex> lock(m_moduleMutex);
            if (!m_device)
                return;
            m_device->disable(true);
            resetCounters();
            HistogrammerDevice::ChannelAndEdge pair = reference ? m_device->getRefCh() : m_device->getMeasCh();
            if (channel)
                pair.channel = std::uint16_t(value);
            else
                pair.edge = std::uint8_t(value);
            if (reference)
                m_device->setRefCh(pair);
            else
                m_device->setMeasCh(pair);
            enableWhenActive();
        }
        switch (member) {
        case ChannelMember::refChannel:
            emit refCHChanged();
            break;
        case ChannelMember::refEdge:
            emit refPolarityChanged();
            break;
        case ChannelMember::measChannel:
            emit measCHChanged();
            break;
        case ChannelMember::measEdge:
            emit measPolarityChanged();
            break;
        }
    });
}

void TDCHistogrammerWrapper::setRefChannel(int refCH)
{
    startMemberTask(ChannelMember::refChannel, refCH);
}

void TDCHistogrammerWrapper::setRefPolarity(int refPolarity)
{
    startMemberTask(ChannelMember::refEdge, refPolarity);
}

void TDCHistogrammerWrapper::setMeasChannel(int measCH)
{
    startMemberTask(ChannelMember::measChannel, measCH);
}

void TDCHistogrammerWrapper::setMeasPolarity(int measPolarity)
{
    startMemberTask(ChannelMember::measEdge, measPolarity);
}

void TDCHistogrammerWrapper::swapChannels()
{
    if (!m_device)
        return;
    {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        const auto ref = m_device->getRefCh();
        const auto meas = m_device->getMeasCh();
        if (ref.channel == 0 || (ref.channel == meas.channel && ref.edge == meas.edge))
            return;
    }
    startTask([this] {
        {
            std::lock_guard<std::mutex> lock(m_moduleMutex);
            if (!m_device)
                return;
            const auto ref = m_device->getRefCh();
            const auto meas = m_device->getMeasCh();
            m_device->disable(true);
            m_device->setRefCh(meas);
            m_device->setMeasCh(ref);
            enableWhenActive();
        }
        emit refCHChanged();
        emit refPolarityChanged();
        emit measCHChanged();
        emit measPolarityChanged();
    });
}

// --- switches -------------------------------------------------------------------------------

void TDCHistogrammerWrapper::setAccumulate(bool accumulate)
{
    qDebug().noquote() << "Setting accumulate to: " + boolText(accumulate);
    if (!m_device)
        return;
    std::unique_lock<std::mutex> lock(m_moduleMutex);
    if (m_device->getAccumulate() == accumulate)
        return;
    m_device->disable(true);
    resetCounters();
    m_device->setAccumulate(accumulate);
    m_accumulateCache = accumulate;
    enableWhenActive();
    lock.unlock();
    qInfo().noquote() << "Accumulate correclty set";
    emit accumulateChanged();
}

void TDCHistogrammerWrapper::setMultiHit(bool multiHit)
{
    qDebug().noquote() << "Setting multiHit to: " + boolText(multiHit);
    if (!m_device)
        return;
    std::unique_lock<std::mutex> lock(m_moduleMutex);
    if (m_device->getMultiHit() == multiHit)
        return;
    m_device->disable(true);
    resetCounters();
    m_device->setMultiHit(multiHit);
    enableWhenActive();
    lock.unlock();
    qInfo().noquote() << "MultiHit correclty set";
    emit multiHitChanged();
}

void TDCHistogrammerWrapper::resetIntegration()
{
    startTask([this] {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        if (!m_device)
            return;
        m_device->disable(true);
        resetCounters();
        enableWhenActive();
    });
}

void TDCHistogrammerWrapper::resetBtnFired()
{
    startTask([this] {
        {
            std::lock_guard<std::mutex> lock(m_moduleMutex);
            if (!m_device)
                return;
            m_device->disable(true);
            resetCounters();
            enableWhenActive();
        }
        if (!m_isActive)
            emit newData(zeros(), 0);
    });
}

void TDCHistogrammerWrapper::setrefreshPeriod(int refreshPeriod)
{
    // A period of no time would divide the rates by zero and the board refuses it.
    if (refreshPeriod < 1) {
        qWarning().noquote() << "Refusing refreshPeriod " + QString::number(refreshPeriod) + ": at least 1 ms";
        return;
    }
    if (refreshPeriod == m_refreshPeriod)
        return;
    m_refreshPeriod = refreshPeriod;
    if (m_isActive && m_device) {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        m_device->disable(true);
        m_device->enable(periodOf(refreshPeriod), 0);
    }
    emit refreshPeriodChanged(refreshPeriod);
}

void TDCHistogrammerWrapper::setIsActive(bool isActive)
{
    const QString id = modelUUID();
    qDebug().noquote() << "Try to set property isActive of Histogrammer[" + id + "] from: " + boolText(m_isActive) +
                              " to: " + boolText(isActive);
    if (isActive == m_isActive)
        return;
    // During a time-trigger run the run drives the module; starting it on its own as well
    // would break the run's windows.
    if (isActive && m_isTimeTrigActive) {
        qWarning().noquote() << "Histogrammer[" + id + "] is in a time-trigger run; not started";
        return;
    }
    qInfo().noquote() << "Set isActive property of Histogrammer[" + id + "] to: " + boolText(isActive);
    m_isActive = isActive;
    emit isActiveChanged(isActive);
    startTask([this, isActive, id] {
        qDebug().noquote() << "Setup runner to start/stop(" + boolText(isActive) + ") the Histogrammer[" + id +
                                  "] integration";
        {
            std::lock_guard<std::mutex> lock(m_moduleMutex);
            if (!m_device)
                return;
            if (isActive) {
                m_device->enable(periodOf(m_refreshPeriod), 0);
            } else {
                m_waitPause = true;
                m_pendingBase = true;
                m_device->pause(true);
                m_waitPause = false;
            }
        }
        qDebug().noquote() << "Runner to start/stop(" + boolText(isActive) + ") the Histogrammer[" + id +
                                  "] started correctly";
    });
}
