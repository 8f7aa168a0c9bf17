#include "tdchistogrammerwrapper.h"

#include <QDebug>
#include <QMetaObject>
#include <QSettings>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "chartelle/filter1d.h"
#include "histogramstats.h"
#include "histogramtextfile.h"
#include "numberformat.h"

namespace {
std::atomic<unsigned> g_wrapperCounter{0};

// Bins between the bounds. The quotient of two multiples of the board unit may come out a
// hair above the whole number, which must not add a bin.
int binCount(const HistogrammerDevice::Bounds &b)
{
    const double q = (b.right.value_or(0) - b.left.value_or(0)) / b.binWidth.value_or(0);
    if (!std::isfinite(q) || q <= 0)
        return 0;
    return int(std::min(std::ceil(q - 1e-9), double(1 << 28)));
}
} // namespace

// Shared by the wrapper and the callback it registers: the callback may be running on the
// library's thread while the wrapper goes, so it reaches the wrapper only through here.
struct TDCHistogrammerWrapper::Inbox {
    std::mutex mutex;
    TDCHistogrammerWrapper *receiver = nullptr;
};

TDCHistogrammerWrapper::TDCHistogrammerWrapper(TDCHistogrammerModule *module, QObject *parent)
    : TDCBaseExtensionObject(module, parent),
      m_ownedDevice(module ? std::make_unique<ModuleHistogrammer>(*module) : nullptr),
      m_device(m_ownedDevice.get())
{
    construct();
}

TDCHistogrammerWrapper::TDCHistogrammerWrapper(HistogrammerDevice *device, TessaronModule *module,
                                               QObject *parent)
    : TDCBaseExtensionObject(module, parent), m_device(device)
{
    construct();
}

void TDCHistogrammerWrapper::construct()
{
    qRegisterMetaType<QVector<double>>("QVector<double>");
    m_inbox = std::make_shared<Inbox>();
    m_inbox->receiver = this;

    m_name = QStringLiteral("Histogram ") + QString::number(g_wrapperCounter.fetch_add(1));
    emit nameChanged(m_name);
    m_persistedProperties = QStringList{QStringLiteral("refCH"),      QStringLiteral("refPolarity"),
                             QStringLiteral("measCH"),     QStringLiteral("measPolarity"),
                             QStringLiteral("leftBound"),  QStringLiteral("rightBound"),
                             QStringLiteral("binWidth"),   QStringLiteral("refreshPeriod"),
                             QStringLiteral("multiHit"),   QStringLiteral("accumulate"),
                             QStringLiteral("name")};

    m_dataContainer = new Filter1D(this);
    m_logDataContainer = new Filter1D(this);
    if (!m_device)
        return;

    m_memoryBins = m_device->memoryBins();
    m_binAddrWidth = m_memoryBins ? uint(std::log2(double(m_memoryBins))) : 0;
    m_maxFSR = m_device->maxFSR();
    m_minFSR = m_device->minFSR();
    m_minOffset = m_device->minOffset();
    m_maxOffset = m_device->maxOffset();

    HistogrammerDevice::Bounds bounds;
    {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        m_device->disable(true);
        bounds = m_device->getBounds();
        m_accumulateCache = m_device->getAccumulate();
        m_isActive = m_device->isRunning();
    }
    storeBounds(bounds);
    m_storedTimeOffset = bounds.left.value_or(0);

    std::shared_ptr<Inbox> inbox = m_inbox;
    {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        m_device->setCallback([inbox](const std::vector<std::uint64_t> &counts, HistogrammerDevice::Status status) {
            std::lock_guard<std::mutex> guard(inbox->mutex);
            if (inbox->receiver)
                inbox->receiver->deliverCounts(counts, status);
        });
    }

    connect(this, &TDCHistogrammerWrapper::newData, this, &TDCHistogrammerWrapper::updateData);
    connect(this, &TDCHistogrammerWrapper::areaChanged, this, &TDCHistogrammerWrapper::updateArea);

    const double left = bounds.left.value_or(0);
    emit areaChanged(QRectF(left, 0, bounds.right.value_or(0) - left, 100));
    emit newData(zeros(), 0);
}

TDCHistogrammerWrapper::~TDCHistogrammerWrapper()
{
    releaseModule();
}

void TDCHistogrammerWrapper::releaseModule()
{
    {
        std::lock_guard<std::mutex> lock(m_inbox->mutex);
        m_inbox->receiver = nullptr;
    }
    // Tasks may still use the device; the base waits for them before it lets go.
    TDCBaseExtensionObject::releaseModule();
    if (m_device) {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        m_device->setCallback(HistogrammerDevice::Callback());
    }
    m_device = nullptr;
    m_ownedDevice.reset();
}

void TDCHistogrammerWrapper::deliverCounts(const std::vector<std::uint64_t> &counts,
                                           HistogrammerDevice::Status status)
{
    const int expected = std::max(0, m_expectedBins.load());
    const int limit = int(std::min<std::size_t>(maxQueuedBlocks,
                                                std::max<std::size_t>(2, maxQueuedBytes / (std::size_t(expected) * 8 + 1))));
    // The last block of a run always goes through: it ends the run.
    if (status.running && m_queuedBlocks.load() >= limit) {
        ++m_droppedBlocks;
        return;
    }
    ++m_queuedBlocks;
    QVector<double> data = takeBlockBuffer(expected);
    const std::size_t n = std::min<std::size_t>(std::size_t(expected), counts.size());
    double *out = data.data();
    const std::uint64_t *in = counts.data();
    std::uint64_t sum = 0, high = 0;
    // Through signed integers, which the processor converts in one instruction; a count of
    // 2^63 or more (never seen in practice) sends the block through the exact conversion.
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = double(std::int64_t(in[i]));
        sum += in[i];
        high |= in[i];
    }
    if (high >> 63)
        for (std::size_t i = 0; i < n; ++i)
            out[i] = double(in[i]);
    std::fill(out + n, out + expected, 0.0);
    keepBlockBuffer(data);
    const uint window = status.windowIndex;
    const bool last = !status.running;
    const unsigned epoch = m_epoch.load();
    // The window index and the flag travel with the block: fields written here and read on
    // the GUI thread would race and could pair a block with another block's index.
    QMetaObject::invokeMethod(
        this,
        [this, data = std::move(data), sum, window, last, epoch] { applyBlock(data, sum, window, last, epoch); },
        Qt::QueuedConnection);
}

void TDCHistogrammerWrapper::applyBlock(const QVector<double> &data, qulonglong events, uint window,
                                        bool lastWindow, unsigned epoch)
{
    --m_queuedBlocks;
    if (epoch != m_epoch.load())
        return;
    m_windowIndex = window;
    m_lastWindow = lastWindow;
    emit newData(data, events);
    emit timeTriggerData(m_histogramNumber, window, lastWindow);
}

QVector<double> TDCHistogrammerWrapper::takeBlockBuffer(int size)
{
    std::lock_guard<std::mutex> lock(m_poolMutex);
    for (QVector<double> &kept : m_blockPool) {
        // Held by the pool alone: nobody else can reach it any more.
        if (kept.size() == size && kept.isDetached()) {
            QVector<double> block;
            block.swap(kept);
            return block;
        }
    }
    QVector<double> block;
    block.resize(size);
    return block;
}

void TDCHistogrammerWrapper::keepBlockBuffer(const QVector<double> &block)
{
    std::lock_guard<std::mutex> lock(m_poolMutex);
    // An empty place, else one of another size nobody uses, else (every block still in use)
    // the first place, whose block simply stays with its holders.
    for (QVector<double> &kept : m_blockPool) {
        if (kept.isEmpty()) {
            kept = block;
            return;
        }
    }
    for (QVector<double> &kept : m_blockPool) {
        if (kept.isDetached()) {
            kept = block;
            return;
        }
    }
    m_blockPool[0] = block;
}

QVector<double> TDCHistogrammerWrapper::zeros() const
{
    return QVector<double>(int(m_memoryBins), 0.0);
}

void TDCHistogrammerWrapper::storeBounds(const HistogrammerDevice::Bounds &bounds)
{
    {
        std::lock_guard<std::mutex> lock(m_cacheMutex);
        m_cachedBounds = bounds;
    }
    m_expectedBins = binCount(bounds);
}

HistogrammerDevice::Bounds TDCHistogrammerWrapper::currentBounds() const
{
    if (m_device) {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        return m_device->getBounds();
    }
    std::lock_guard<std::mutex> lock(m_cacheMutex);
    return m_cachedBounds;
}

double TDCHistogrammerWrapper::moduleBinWidth() const
{
    return currentBounds().binWidth.value_or(0);
}

// --- properties that ask the module ---------------------------------------------------------

double TDCHistogrammerWrapper::windowFSR() const
{
    const auto b = currentBounds();
    return b.right.value_or(0) - b.left.value_or(0);
}

double TDCHistogrammerWrapper::binWidth() const
{
    return currentBounds().binWidth.value_or(0);
}

double TDCHistogrammerWrapper::leftBound() const
{
    return currentBounds().left.value_or(0);
}

double TDCHistogrammerWrapper::rightBound() const
{
    return currentBounds().right.value_or(0);
}

double TDCHistogrammerWrapper::timeOffset() const
{
    return leftBound();
}

int TDCHistogrammerWrapper::refCH() const
{
    if (!m_device)
        return 0;
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    return m_device->getRefCh().channel;
}

int TDCHistogrammerWrapper::refPolarity() const
{
    if (!m_device)
        return 0;
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    return m_device->getRefCh().edge;
}

int TDCHistogrammerWrapper::measCH() const
{
    if (!m_device)
        return 0;
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    return m_device->getMeasCh().channel;
}

int TDCHistogrammerWrapper::measPolarity() const
{
    if (!m_device)
        return 0;
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    return m_device->getMeasCh().edge;
}

bool TDCHistogrammerWrapper::accumulate() const
{
    if (!m_device)
        return m_accumulateCache;
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    return m_device->getAccumulate();
}

bool TDCHistogrammerWrapper::multiHit() const
{
    if (!m_device)
        return false;
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    return m_device->getMultiHit();
}

// --- data path ------------------------------------------------------------------------------

void TDCHistogrammerWrapper::updateData(QVector<double> data, qulonglong num_events)
{
    m_integrationEvent = num_events;

    const int period = std::max(1, m_refreshPeriod.load());
    if (!m_accumulateCache)
        m_eventsRate = double((quint64(num_events) * 1000u) / quint64(period));
    else
        m_eventsRate = (double(num_events) - m_previousTotal.load()) * 1000.0 / period;
    m_previousTotal = double(num_events);

    if (!m_lastWindow) {
        m_integrationTime = quint64(period) * m_windowIndex + m_integrationBase.load();
    } else if (m_pendingBase) {
        m_integrationBase = m_integrationTime;
        m_eventBase = num_events;
        m_pendingBase = false;
    }

    m_dataContainer->setData(data);

    const std::size_t n = std::size_t(data.size());
    const QRectF area = m_dataContainer->area();
    const histstats::Window window{area.left(), area.width(), m_zoomRect.left(), m_zoomRect.width(), m_xOffset};
    const double width = moduleBinWidth();
    QVector<double> &logData = m_logBuffers[std::size_t(m_logFlip)];
    m_logFlip ^= 1;
    if (logData.size() != data.size() || !logData.isDetached())
        logData = QVector<double>(data.size());
    const histstats::Analysis a =
        histstats::analyse(data.constData(), n, double(num_events), width, window, logData.data());
    m_mean = a.whole.mean;
    m_std = a.whole.std;
    m_chartMean = a.visible.mean;
    m_chartStd = a.visible.std;
    const histstats::Peak peak = histstats::findPeakAt(data.constData(), n, area.left(), width, a.argmax);
    m_peak = peak.position;
    m_fwhm = peak.fwhm;
    m_peakCounts = peak.counts;

    m_logDataContainer->setData(logData);

    if (uint(n) != m_numBins) {
        m_numBins = uint(n);
        emit numBinsChanged(m_numBins);
    }
    emit integrationEventChanged();
    emit integrationTimeChanged();
    emit eventsRateChanged();
    emit meanChanged();
    emit stdChanged();
    emit chartMeanChanged();
    emit chartStdChanged();
    emit peakChanged();
}

void TDCHistogrammerWrapper::updateArea(QRectF newArea)
{
    m_dataContainer->setArea(newArea);
    m_logDataContainer->setArea(newArea);
}

void TDCHistogrammerWrapper::updateVisibleStatistics()
{
    const QVector<double> &data = m_dataContainer->data();
    const QRectF area = m_dataContainer->area();
    const histstats::Window window{area.left(), area.width(), m_zoomRect.left(), m_zoomRect.width(), m_xOffset};
    const histstats::Moments m = histstats::visibleMoments(data.constData(), std::size_t(data.size()),
                                                           double(m_integrationEvent), moduleBinWidth(), window);
    m_chartMean = m.mean;
    m_chartStd = m.std;
    emit chartMeanChanged();
    emit chartStdChanged();
}

void TDCHistogrammerWrapper::setZoomRect(QRectF zoomRect)
{
    m_zoomRect = zoomRect;
    updateVisibleStatistics();
}

void TDCHistogrammerWrapper::setXOffset(double xOffset)
{
    m_xOffset = xOffset;
    updateVisibleStatistics();
}

double TDCHistogrammerWrapper::alignTimeOffset() const
{
    if (!std::isfinite(m_peak))
        return std::numeric_limits<double>::quiet_NaN();
    return m_peak - windowFSR() / 2;
}

bool TDCHistogrammerWrapper::alignPeak()
{
    const double offset = alignTimeOffset();
    if (!std::isfinite(offset))
        return false;
    setTimeOffset(offset);
    return true;
}

// --- files ----------------------------------------------------------------------------------

bool TDCHistogrammerWrapper::writeBlock(const QString &filePath, bool visibleOnly)
{
    const HistogrammerDevice::Bounds bounds = currentBounds();
    const double width = bounds.binWidth.value_or(0);
    const double left = bounds.left.value_or(0);
    const QVector<double> data = m_dataContainer->data();
    std::string text;
    if (!visibleOnly) {
        histfile::appendHistogramBlock(text, m_name.toStdString(), left, width, data.constData(),
                                       std::size_t(data.size()));
        return histfile::appendToFile(filePath, text);
    }
    const QRectF area = m_dataContainer->area();
    const histstats::Window window{area.left(), area.width(), m_zoomRect.left(), m_zoomRect.width(), m_xOffset};
    const histstats::VisibleRange range = histstats::visibleRange(std::size_t(data.size()), window);
    if (range.count <= 0)
        return false;
    // The visible bins, with the window and its statistics as comment lines.
    std::string comments = "# Visible range [s]: ";
    histfmt::appendG6(comments, m_zoomRect.left());
    comments += " to ";
    histfmt::appendG6(comments, m_zoomRect.right());
    comments += "\n# Chart mean [s]: ";
    histfmt::appendG6(comments, m_chartMean);
    comments += "\n# Chart std [s]: ";
    histfmt::appendG6(comments, m_chartStd);
    comments += '\n';
    histfile::appendHistogramBlock(text, m_name.toStdString(), left + double(range.start) * width, width,
                                   data.constData() + range.start, std::size_t(range.end - range.start), comments);
    return histfile::appendToFile(filePath, text);
}

bool TDCHistogrammerWrapper::exportCSV(QString filePath)
{
    return writeBlock(filePath, false);
}

bool TDCHistogrammerWrapper::exportVisibleCSV(QString filePath)
{
    return writeBlock(filePath, true);
}

// --- plain setters --------------------------------------------------------------------------

void TDCHistogrammerWrapper::setName(QString name)
{
    if (name == m_name)
        return;
    m_name = name;
    emit nameChanged(m_name);
}

void TDCHistogrammerWrapper::setRefreshActive(bool refreshActive)
{
    if (refreshActive == m_refreshActive)
        return;
    m_refreshActive = refreshActive;
    emit refreshActiveChanged(refreshActive);
}

void TDCHistogrammerWrapper::setState(bool state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
}

void TDCHistogrammerWrapper::setEventTrigger(int eventTrigger)
{
    m_eventTrigger = eventTrigger;
}

void TDCHistogrammerWrapper::setNumGroups(uint numGroups)
{
    m_numGroups = numGroups;
    emit numGroupsChanged();
}

void TDCHistogrammerWrapper::disableEdgesTrim()
{
    m_edgesTrim = false;
}

void TDCHistogrammerWrapper::enableEdgesTrim()
{
    m_edgesTrim = true;
}

void TDCHistogrammerWrapper::startTimeTrigger()
{
    if (m_isActive || m_isTimeTrigActive)
        return;
    m_isTimeTrigActive = true;
    emit isTimeTrigActiveChanged(true);
}

void TDCHistogrammerWrapper::disableTimeTrigger()
{
    if (!m_isTimeTrigActive)
        return;
    m_isTimeTrigActive = false;
    emit isTimeTrigActiveChanged(false);
}

void TDCHistogrammerWrapper::prepareForTimeTrigger()
{
    if (m_isActive) {
        m_isActive = false;
        emit isActiveChanged(false);
    }
    // Tasks end in bounded time and never wait for this thread.
    while (runningTasks() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!m_device)
        return;
    {
        std::lock_guard<std::mutex> lock(m_moduleMutex);
        m_pendingBase = true;
        m_device->disable(true);
    }
    // No block starts after the disable; one being handed over right now holds the inbox.
    std::lock_guard<std::mutex> lock(m_inbox->mutex);
    ++m_epoch;
}

void TDCHistogrammerWrapper::disableHist()
{
    if (!m_device)
        return;
    std::lock_guard<std::mutex> lock(m_moduleMutex);
    m_device->disable(true);
}

void TDCHistogrammerWrapper::saveModelSettings(QSettings *settings)
{
    qDebug().noquote() << "Saving Histogrammer parameters...";
    TDCBaseExtensionObject::saveModelSettings(settings);
}

void TDCHistogrammerWrapper::loadModelSettings(QSettings *settings)
{
    qDebug().noquote() << "Loading Histogrammer parameters...";
    TDCBaseExtensionObject::loadModelSettings(settings);
}
