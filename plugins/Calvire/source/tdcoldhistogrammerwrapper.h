#pragma once
// The model of one legacy histogrammer (`TDCOldHistogrammerModule`): a start–stop histogram
// set by bin width, full-scale range, bit truncation and time offset, its counts pushed by
// the board, its own time trigger, and its running state reported by the board.
//
// Parameter changes that restart the histogram run as pool tasks; time-offset changes wait
// 200 ms so that a dragged offset reaches the board once, with the last value.
//
// Ownership: the backend wrapper is the parent; `dataContainer` is a child. The module belongs
// to the device library and is released (`releaseModule`) before it is destroyed.
// Threads: properties, setters and the statistics live on the GUI thread. The counts and
// state callbacks run on the library's receive thread and only post to the GUI thread. Pool
// tasks and the GUI thread both call the module; one module mutex serialises every call, so
// a task's sequence of calls is never interleaved with another's.

#include <QElapsedTimer>
#include <QRectF>
#include <QString>
#include <QTimer>
#include <QVector>

#include <cstdint>
#include <memory>
#include <mutex>

#include "legacyrules.h"
#include "plugin-contract/tdcbaseextensionobject.h"

class Filter1D;
class TDCOldHistogrammerModule;

class TDCOldHistogrammerWrapper : public TDCBaseExtensionObject {
    Q_OBJECT
    Q_PROPERTY(uint bitTimeStamp READ bitTimeStamp CONSTANT)
    Q_PROPERTY(uint maxBitTrunc READ maxBitTrunc CONSTANT)
    Q_PROPERTY(uint bitOverflow READ bitOverflow CONSTANT)
    Q_PROPERTY(uint bin_addr_width READ binAddrWidth CONSTANT)
    Q_PROPERTY(uint bin_data_width READ binDataWidth CONSTANT)
    Q_PROPERTY(double maxFSR READ maxFSR CONSTANT)
    Q_PROPERTY(double minWindowFSR READ minWindowFSR CONSTANT)
    Q_PROPERTY(Filter1D *dataContainer READ dataContainer CONSTANT)
    Q_PROPERTY(double windowFSR READ windowFSR WRITE setWindowFSR NOTIFY windowFSRChanged)
    Q_PROPERTY(double binWidth READ binWidth WRITE setBinWidth NOTIFY binWidthChanged)
    Q_PROPERTY(int refCH READ refCH WRITE setRefChannel NOTIFY refCHChanged)
    Q_PROPERTY(int refPolarity READ refPolarity WRITE setRefPolarity NOTIFY refPolarityChanged)
    Q_PROPERTY(int measCH READ measCH WRITE setMeasChannel NOTIFY measCHChanged)
    Q_PROPERTY(int measPolarity READ measPolarity WRITE setMeasPolarity NOTIFY measPolarityChanged)
    Q_PROPERTY(uint bitTrunc READ bitTrunc WRITE setBitTrunc NOTIFY bitTruncChanged)
    Q_PROPERTY(double timeOffset READ timeOffset WRITE setTimeOffset NOTIFY timeOffsetChanged)
    Q_PROPERTY(bool autopush READ autopush WRITE setAutopush NOTIFY autopushChanged)
    Q_PROPERTY(bool refreshActive READ refreshActive WRITE setRefreshActive NOTIFY refreshActiveChanged)
    Q_PROPERTY(int refreshRate READ refreshRate WRITE setRefreshRate NOTIFY refreshRateChanged)
    Q_PROPERTY(int eventTrigger READ eventTrigger WRITE setEventTrigger NOTIFY eventTriggerChanged)
    Q_PROPERTY(bool isActive READ isActive WRITE setIsActive NOTIFY isActiveChanged)
    Q_PROPERTY(bool forceAutopush READ forceAutopush WRITE setForceAutopush NOTIFY forceAutopushChanged)
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(bool isTimeTrigActive READ isTimeTrigActive NOTIFY isTimeTrigActiveChanged)
    Q_PROPERTY(bool state READ state NOTIFY stateChanged)
    Q_PROPERTY(quint64 integrationTime READ integrationTime NOTIFY integrationTimeChanged)
    Q_PROPERTY(quint64 integrationEvent READ integrationEvent NOTIFY integrationEventChanged)
    Q_PROPERTY(double eventsRate READ eventsRate NOTIFY eventsRateChanged)
    Q_PROPERTY(double mean READ mean NOTIFY meanChanged)
    Q_PROPERTY(double std READ std NOTIFY stdChanged)

public:
    // `backend` is the parent; its "bitCoarse", "bitFine" and "minBinWidth" give the constants.
    TDCOldHistogrammerWrapper(TDCOldHistogrammerModule *module, QObject *backend);
    ~TDCOldHistogrammerWrapper() override;

    uint bitTimeStamp() const { return m_constants.bitTimeStamp; }
    uint maxBitTrunc() const { return m_constants.maxBitTrunc; }
    uint bitOverflow() const { return m_bitOverflow; }
    uint binAddrWidth() const { return m_binAddrWidth; }
    uint binDataWidth() const { return m_binDataWidth; }
    double maxFSR() const { return m_constants.maxFSR; }
    double minWindowFSR() const { return m_constants.minWindowFSR; }
    Filter1D *dataContainer() const { return m_dataContainer; }

    double windowFSR() const;
    double binWidth() const;
    int refCH() const;
    int refPolarity() const;
    int measCH() const;
    int measPolarity() const;
    uint bitTrunc() const;
    double timeOffset() const;
    bool autopush() const { return m_autopush; }
    bool refreshActive() const { return m_refreshActive; }
    int refreshRate() const { return m_refreshRate; }
    int eventTrigger() const { return m_eventTrigger; }
    bool isActive() const { return m_isActive; }
    bool forceAutopush() const { return m_forceAutopush; }
    QString name() const { return m_name; }
    bool isTimeTrigActive() const { return m_isTimeTrigActive; }
    bool state() const { return m_state; }
    quint64 integrationTime() const { return m_integrationTime; }
    quint64 integrationEvent() const { return m_integrationEvent; }
    double eventsRate() const { return m_eventsRate; }
    double mean() const { return m_mean; }
    double std() const { return m_std; }

    // The force-push timer, for the views' and tests' sake.
    bool forcePushRunning() const { return m_forcePushTimer.isActive(); }
    int forcePushInterval() const { return m_forcePushTimer.interval(); }
    // A time-offset change waiting for the 200 ms to pass.
    bool offsetPending() const { return m_offsetTimer.isActive(); }

    void releaseModule() override;

    Q_INVOKABLE void exportCSV(QString filePath);
    Q_INVOKABLE void setMeasCH(int ch_index, int ch_edge);
    Q_INVOKABLE void setRefCH(int ch_index, int ch_edge);

signals:
    void windowFSRChanged(double fsr);
    void binWidthChanged(double binWidth);
    void refCHChanged();
    void refPolarityChanged();
    void measCHChanged();
    void measPolarityChanged();
    void bitTruncChanged(uint bitTrunc);
    void timeOffsetChanged(double timeOffset);
    void autopushChanged(bool autopush);
    void refreshActiveChanged(bool refreshActive);
    void refreshRateChanged(int refreshRate);
    void eventTriggerChanged(int eventTrigger);
    void isActiveChanged(bool isActive);
    void forceAutopushChanged(bool forceAutopush);
    void nameChanged(QString name);
    void isTimeTrigActiveChanged(bool isTimeTrigActive);
    void stateChanged();
    void integrationTimeChanged();
    void integrationEventChanged();
    void eventsRateChanged();
    void meanChanged();
    void stdChanged();
    void numBinChanged(QString numBin);
    void lostWindowsChanged();
    void timeTriggerChanged(double timeTrigger);
    void newData(QVector<double> data, qulonglong num_events);
    void areaChanged(QRectF newArea);

public slots:
    void setTDCHistTimeOffset();
    void resetIntegration();
    void resetBtnFired();
    void startTimeTrigger(double timeInterval);
    void disableTimeTrigger();
    void setRefChannel(int channel);
    void setRefPolarity(int polarity);
    void setMeasChannel(int channel);
    void setMeasPolarity(int polarity);
    void setBinWidth(double binWidth);
    void setWindowFSR(double windowFSR);
    void setTimeOffset(double timeOffset);
    void setBitTrunc(uint bitTrunc);
    void setAutopush(bool autopush);
    void setRefreshActive(bool refreshActive);
    void setRefreshRate(int refreshRate);
    void setEventTrigger(int eventTrigger);
    void setIsActive(bool isActive);
    void setForceAutopush(bool forceAutopush);
    void setName(QString name);
    void setState(bool state);

private slots:
    void updateData(QVector<double> data, qulonglong num_events);
    void updateArea(QRectF newArea);

private:
    struct Inbox;
    enum class Param { BinWidth, WindowFSR, BitTrunc };

    void installCallbacks();
    void startParameterTask(Param param, double value);
    // Under the module mutex: clears the bins and, when the histogram runs, starts it again.
    void resetLocked();
    void clearChart();
    void restartElapsed();
    void updateForcePush();
    void forcePushTick();
    void setChannel(bool reference, int channel, int edge);
    QRectF currentArea() const;

    TDCOldHistogrammerModule *m_module;
    std::shared_ptr<Inbox> m_inbox;
    // Serialises every call into the module, from the GUI thread and from the pool.
    mutable std::mutex m_moduleMutex;

    unsigned m_bitOverflow = 0;
    unsigned m_binAddrWidth = 0;
    unsigned m_binDataWidth = 0;
    LegacyConstants m_constants;
    Filter1D *m_dataContainer;

    bool m_autopush = false;
    bool m_refreshActive = false;
    int m_refreshRate = 5;
    int m_eventTrigger = 0;
    bool m_isActive = false;
    bool m_forceAutopush = true;
    QString m_name;
    double m_timeOffset = 0;
    bool m_isTimeTrigActive = false;
    bool m_state = false;

    QElapsedTimer m_elapsed;
    QTimer m_forcePushTimer;
    QTimer m_offsetTimer;

    quint64 m_integrationTime = 0;
    quint64 m_integrationEvent = 0;
    std::uint64_t m_previousTotal = 0;
    std::int64_t m_previousNs = 0;
    double m_eventsRate = 0;
    double m_mean = 0;
    double m_std = 0;
};
