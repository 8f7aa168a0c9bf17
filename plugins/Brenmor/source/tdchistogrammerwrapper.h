#pragma once
// The model of one start–stop histogrammer (`TDCHistogrammerModule`): every parameter of the
// module as a property, the counts of every block in two chart containers (linear and log10),
// live statistics (rate, integration time, mean and spread over the whole histogram and over
// the visible chart window, the peak), and the histogram text file.
//
// Threads:
// - GUI thread: property reads and writes, slots, statistics, the chart containers.
// - Qt global thread pool: one short task per parameter change that stops and restarts the
//   board (`startTask` of the base); tasks of one wrapper serialise on the module mutex.
// - The device library's thread: the counts callback. It converts the block into doubles and
//   posts it, with its window index and last-window flag, to the GUI thread; it touches no
//   other state of the wrapper.
// The module mutex guards every call into the module; it is never held while a signal is
// emitted, so a queued or direct receiver may read properties again.
//
// Ownership: the backend wrapper (the QObject parent) owns the wrapper; the wrapper owns its
// two containers. The module belongs to the device library. `releaseModule` (and the
// destructor) waits for running tasks, cuts the callback off and registers an empty one, so
// no block reaches a wrapper that is gone; afterwards the properties keep their last values
// and the setters touch nothing.

#include <QPointer>
#include <QRectF>
#include <QString>
#include <QVector>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "histogrammerdevice.h"
#include "plugin-contract/tdcbaseextensionobject.h"

class Filter1D;

class TDCHistogrammerWrapper : public TDCBaseExtensionObject {
    Q_OBJECT
    Q_PROPERTY(uint bin_addr_width READ binAddrWidth CONSTANT)
    Q_PROPERTY(double maxFSR READ maxFSR CONSTANT)
    Q_PROPERTY(double minFSR READ minFSR CONSTANT)
    Q_PROPERTY(double minOffset READ minOffset CONSTANT)
    Q_PROPERTY(double maxOffset READ maxOffset CONSTANT)
    Q_PROPERTY(double waitPause READ waitPause CONSTANT)
    Q_PROPERTY(double windowFSR READ windowFSR WRITE setWindowFSR NOTIFY windowFSRChanged)
    Q_PROPERTY(double minWindowFSR READ minWindowFSR CONSTANT)
    Q_PROPERTY(double binWidth READ binWidth WRITE setBinWidth NOTIFY binWidthChanged)
    Q_PROPERTY(double leftBound READ leftBound WRITE setLeftBound NOTIFY leftBoundChanged)
    Q_PROPERTY(double rightBound READ rightBound WRITE setRightBound NOTIFY rightBoundChanged)
    Q_PROPERTY(int refCH READ refCH WRITE setRefChannel NOTIFY refCHChanged)
    Q_PROPERTY(int refPolarity READ refPolarity WRITE setRefPolarity NOTIFY refPolarityChanged)
    Q_PROPERTY(int measCH READ measCH WRITE setMeasChannel NOTIFY measCHChanged)
    Q_PROPERTY(int measPolarity READ measPolarity WRITE setMeasPolarity NOTIFY measPolarityChanged)
    Q_PROPERTY(double timeOffset READ timeOffset WRITE setTimeOffset NOTIFY timeOffsetChanged)
    Q_PROPERTY(bool accumulate READ accumulate WRITE setAccumulate NOTIFY accumulateChanged)
    Q_PROPERTY(bool multiHit READ multiHit WRITE setMultiHit NOTIFY multiHitChanged)
    Q_PROPERTY(uint numBins READ numBins NOTIFY numBinsChanged)
    Q_PROPERTY(uint numGroups READ numGroups WRITE setNumGroups NOTIFY numGroupsChanged)
    Q_PROPERTY(bool refreshActive READ refreshActive WRITE setRefreshActive NOTIFY refreshActiveChanged)
    Q_PROPERTY(int refreshPeriod READ refreshPeriod WRITE setrefreshPeriod NOTIFY refreshPeriodChanged)
    Q_PROPERTY(int eventTrigger READ eventTrigger WRITE setEventTrigger NOTIFY eventTriggerChanged)
    Q_PROPERTY(bool isActive READ isActive WRITE setIsActive NOTIFY isActiveChanged)
    Q_PROPERTY(bool isTimeTrigActive READ isTimeTrigActive NOTIFY isTimeTrigActiveChanged)
    Q_PROPERTY(bool state READ state NOTIFY stateChanged)
    Q_PROPERTY(Filter1D *dataContainer READ dataContainer CONSTANT)
    Q_PROPERTY(Filter1D *logDataContainer READ logDataContainer CONSTANT)
    Q_PROPERTY(qulonglong integrationTime READ integrationTime NOTIFY integrationTimeChanged)
    Q_PROPERTY(qulonglong integrationEvent READ integrationEvent NOTIFY integrationEventChanged)
    Q_PROPERTY(double eventsRate READ eventsRate NOTIFY eventsRateChanged)
    Q_PROPERTY(double mean READ mean NOTIFY meanChanged)
    Q_PROPERTY(double std READ std NOTIFY stdChanged)
    Q_PROPERTY(double chartMean READ chartMean NOTIFY chartMeanChanged)
    Q_PROPERTY(double chartStd READ chartStd NOTIFY chartStdChanged)
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    // Peak analysis of the whole histogram, renewed with every block: the position of the
    // highest bin refined by the centroid of the bins above half maximum (seconds, NaN while
    // the histogram is empty), the full width at half maximum (seconds) and the highest count.
    Q_PROPERTY(double peak READ peak NOTIFY peakChanged)
    Q_PROPERTY(double fwhm READ fwhm NOTIFY peakChanged)
    Q_PROPERTY(double peakCounts READ peakCounts NOTIFY peakChanged)

public:
    // `module` must not be null; `parent` (the backend wrapper) owns the new wrapper.
    TDCHistogrammerWrapper(TDCHistogrammerModule *module, QObject *parent);
    // A wrapper over any device: `device` (not owned) must outlive the wrapper or its
    // releaseModule; `module` is what the base class records (the same object for a board's
    // module).
    TDCHistogrammerWrapper(HistogrammerDevice *device, TessaronModule *module, QObject *parent);
    ~TDCHistogrammerWrapper() override;

    uint binAddrWidth() const { return m_binAddrWidth; }
    double maxFSR() const { return m_maxFSR; }
    double minFSR() const { return m_minFSR; }
    double minOffset() const { return m_minOffset; }
    double maxOffset() const { return m_maxOffset; }
    double waitPause() const { return m_waitPause ? 1.0 : 0.0; }
    double windowFSR() const;
    double minWindowFSR() const { return 1e-12; }
    double binWidth() const;
    double leftBound() const;
    double rightBound() const;
    int refCH() const;
    int refPolarity() const;
    int measCH() const;
    int measPolarity() const;
    double timeOffset() const;
    bool accumulate() const;
    bool multiHit() const;
    uint numBins() const { return m_numBins; }
    uint numGroups() const { return m_numGroups; }
    bool refreshActive() const { return m_refreshActive; }
    int refreshPeriod() const { return m_refreshPeriod; }
    int eventTrigger() const { return m_eventTrigger; }
    bool isActive() const { return m_isActive; }
    bool isTimeTrigActive() const { return m_isTimeTrigActive; }
    bool state() const { return m_state; }
    Filter1D *dataContainer() const { return m_dataContainer; }
    Filter1D *logDataContainer() const { return m_logDataContainer; }
    qulonglong integrationTime() const { return m_integrationTime; }
    qulonglong integrationEvent() const { return m_integrationEvent; }
    double eventsRate() const { return m_eventsRate; }
    double mean() const { return m_mean; }
    double std() const { return m_std; }
    double chartMean() const { return m_chartMean; }
    double chartStd() const { return m_chartStd; }
    QString name() const { return m_name; }
    double peak() const { return m_peak; }
    double fwhm() const { return m_fwhm; }
    double peakCounts() const { return m_peakCounts; }

    // The time offset that puts the peak in the middle of the window (peak − windowFSR / 2),
    // NaN while there is no peak. "Align" in the chart view writes it to timeOffset.
    Q_INVOKABLE double alignTimeOffset() const;
    // Writes alignTimeOffset() to timeOffset; false (and nothing changes) without a peak.
    Q_INVOKABLE bool alignPeak();

    // Appends the histogram to a text file; false when it cannot be written.
    Q_INVOKABLE bool exportCSV(QString filePath);
    // Appends the bins of the visible chart window only, with the window's bounds and
    // statistics in the block's header; false when nothing is visible or the file cannot be
    // written.
    Q_INVOKABLE bool exportVisibleCSV(QString filePath);
    Q_INVOKABLE void setMeasCH(int ch_index, int ch_edge);
    Q_INVOKABLE void setRefCH(int ch_index, int ch_edge);

    void releaseModule() override;

    // For the time-trigger model (GUI thread). The device is null once released.
    HistogrammerDevice *device() const { return m_device; }
    std::mutex &moduleMutex() const { return m_moduleMutex; }
    void setHistogramNumber(uint number) { m_histogramNumber = number; }
    uint histogramNumber() const { return m_histogramNumber; }
    // Stops the wrapper's own accumulation for a time-trigger run: isActive becomes false,
    // pending parameter tasks are waited for (so none of them pauses or enables the module
    // once the run has started) and the module is disabled.
    void prepareForTimeTrigger();
    // The current bounds (read under the module mutex), or the cached ones once released.
    HistogrammerDevice::Bounds currentBounds() const;
    // Expected number of bins of the bounds in force.
    int expectedBins() const { return m_expectedBins.load(); }
    // The block of counts the device library would deliver, as the callback receives it
    // (device-library thread or tests).
    void deliverCounts(const std::vector<std::uint64_t> &counts, HistogrammerDevice::Status status);

signals:
    void windowFSRChanged(double fsr);
    void binWidthChanged(double binWidth);
    void leftBoundChanged(double leftBound);
    void rightBoundChanged(double rightBound);
    void refCHChanged();
    void refPolarityChanged();
    void measCHChanged();
    void measPolarityChanged();
    void timeOffsetChanged(double timeOffset);
    void accumulateChanged();
    void multiHitChanged();
    void numBinsChanged(uint numBin);
    void numGroupsChanged();
    void refreshActiveChanged(bool refreshActive);
    void refreshPeriodChanged(int refreshPeriod);
    void eventTriggerChanged(int eventTrigger);
    void isActiveChanged(bool isActive);
    void isTimeTrigActiveChanged(bool isTimeTrigActive);
    void stateChanged();
    void integrationTimeChanged();
    void integrationEventChanged();
    void eventsRateChanged();
    void meanChanged();
    void stdChanged();
    void chartMeanChanged();
    void chartStdChanged();
    void nameChanged(QString name);
    void peakChanged();
    void lostWindowsChanged();
    void timeTriggerChanged(double timeTrigger);
    void timeTriggerData(uint hist_ID, uint win_ID, bool lastWin);
    void newData(QVector<double> data, qulonglong num_events);
    void areaChanged(QRectF newArea);

public slots:
    void setTDCHistTimeOffset();
    void resetIntegration();
    void resetBtnFired();
    void startTimeTrigger();
    void disableTimeTrigger();
    void disableHist();
    void swapChannels();
    void setRefChannel(int refCH);
    void setRefPolarity(int refPolarity);
    void setMeasChannel(int measCH);
    void setMeasPolarity(int measPolarity);
    void setLeftBound(double leftBound);
    void setRightBound(double rightBound);
    void setBinWidth(double binWidth);
    void setWindowFSR(double windowFSR);
    void setTimeOffset(double timeOffset);
    void setAccumulate(bool accumulate);
    void setMultiHit(bool multiHit);
    void disableEdgesTrim();
    void enableEdgesTrim();
    void setRefreshActive(bool refreshActive);
    void setrefreshPeriod(int refreshPeriod);
    void setEventTrigger(int eventTrigger);
    void setIsActive(bool isActive);
    void setName(QString name);
    void setState(bool state);
    void setNumGroups(uint numGroups);
    void setZoomRect(QRectF zoomRect);
    void setXOffset(double xOffset);
    void saveModelSettings(QSettings *settings) override;
    void loadModelSettings(QSettings *settings) override;

private slots:
    void updateData(QVector<double> data, qulonglong num_events);
    void updateArea(QRectF newArea);

private:
    struct Inbox;
    enum class BoundsChange { left, right, binWidth, windowFSR, timeOffset };
    enum class ChannelMember { refChannel, refEdge, measChannel, measEdge };

    void construct();
    void applyBlock(const QVector<double> &data, qulonglong events, uint window, bool lastWindow, unsigned epoch);
    void startBoundsTask(BoundsChange change, double value);
    void runBoundsTask(BoundsChange change, double value);
    void startChannelTask(bool reference, HistogrammerDevice::ChannelAndEdge pair);
    void startMemberTask(ChannelMember member, int value);
    void resetCounters();
    void enableWhenActive();
    void updateVisibleStatistics();
    double moduleBinWidth() const;
    void storeBounds(const HistogrammerDevice::Bounds &bounds);
    QVector<double> zeros() const;
    bool writeBlock(const QString &filePath, bool visibleOnly);

    std::unique_ptr<HistogrammerDevice> m_ownedDevice;
    HistogrammerDevice *m_device = nullptr;
    std::shared_ptr<Inbox> m_inbox;
    mutable std::mutex m_moduleMutex;

    uint m_binAddrWidth = 0;
    std::uint32_t m_memoryBins = 0;
    double m_maxFSR = 0, m_minFSR = 0, m_minOffset = 0, m_maxOffset = 0;

    QString m_name;
    bool m_refreshActive = false;
    std::atomic<int> m_refreshPeriod{50};
    int m_eventTrigger = 0;
    std::atomic<bool> m_isActive{false};
    std::atomic<double> m_storedTimeOffset{0};
    std::atomic<int> m_expectedBins{0};
    uint m_numBins = 0;
    uint m_numGroups = 0;
    bool m_isTimeTrigActive = false;
    bool m_state = false;
    Filter1D *m_dataContainer = nullptr;
    Filter1D *m_logDataContainer = nullptr;

    quint64 m_integrationTime = 0;
    quint64 m_integrationEvent = 0;
    std::atomic<double> m_previousTotal{0};
    double m_eventsRate = 0;
    std::atomic<quint64> m_integrationBase{0};
    quint64 m_eventBase = 0;
    QRectF m_zoomRect;
    std::atomic<bool> m_waitPause{false};
    std::atomic<bool> m_pendingBase{true};
    std::atomic<bool> m_accumulateCache{false};
    std::atomic<bool> m_edgesTrim{true};
    // Bounds read back after the last change; written by tasks, read on the GUI thread.
    mutable std::mutex m_cacheMutex;
    HistogrammerDevice::Bounds m_cachedBounds;
    double m_xOffset = 0;

    double m_mean = 0, m_std = 0, m_chartMean = 0, m_chartStd = 0;
    double m_peak = 0, m_fwhm = 0, m_peakCounts = 0;
    uint m_histogramNumber = 0;
    uint m_windowIndex = 0;
    bool m_lastWindow = false;
    // Counts the starts of time-trigger runs. A block carries the value it was received
    // under; blocks still queued from before a run began are dropped, or their window
    // indices would be taken for the run's.
    std::atomic<unsigned> m_epoch{0};
    // Blocks received and not yet handed over. When the GUI thread falls this far behind, new
    // blocks are dropped (a time-trigger run counts them as lost windows) rather than piling
    // up without bound.
    std::atomic<int> m_queuedBlocks{0};
    std::atomic<quint64> m_droppedBlocks{0};
    // Blocks handed to the GUI thread come back here once nothing else holds them, so a
    // block costs neither an allocation nor a zero fill (callback side).
    std::mutex m_poolMutex;
    std::array<QVector<double>, 3> m_blockPool;
    QVector<double> takeBlockBuffer(int size);
    void keepBlockBuffer(const QVector<double> &block);
    // The log view alternates between two vectors: the one the container was given two blocks
    // ago is free again unless a plotter still holds it (GUI thread).
    std::array<QVector<double>, 2> m_logBuffers;
    int m_logFlip = 0;

public:
    static constexpr std::size_t maxQueuedBytes = std::size_t(64) << 20;
    static constexpr int maxQueuedBlocks = 64;
    // Blocks dropped because the GUI thread was too far behind.
    quint64 droppedBlocks() const { return m_droppedBlocks.load(); }
};
