#pragma once
// The model of the board's threshold DACs: one channel object per input, voltages set one by
// one or for a selection, inputs switched on and off, and the board's automatic threshold
// search started and aborted from the view.
//
// Voltage changes wait up to 100 ms and then reach the board together, so dragging a slider
// across a selection costs one write per flush, not one per step.
//
// Ownership: the backend wrapper is the parent; the channels are children of this object and
// fixed after construction. The module belongs to the device library and is released
// (`releaseModule`) before it is destroyed; from then on nothing reaches it.
// Threads: properties, setters and the flush run on the GUI thread. Switching inputs and the
// tuning run are tasks on the Qt global thread pool; the tuning task only waits for the
// board's results and posts each of them to the GUI thread, where channel voltages,
// `autoTuning` and the warnings change. Releasing the module aborts a running search and
// waits for the tasks.

#include <QTimer>
#include <QVector>

#include <cstdint>
#include <system_error>
#include <vector>

#include "plugin-contract/tdcbaseextensionobject.h"
#include "programmablethresholdchannel.h"

class ProgrammableThreshold;

class ProgrammableThresholdWrapper : public TDCBaseExtensionObject {
    Q_OBJECT
    Q_PROPERTY(QVector<ProgrammableThresholdChannel *> channels READ channels NOTIFY channelsChanged)
    Q_PROPERTY(bool autoTuning READ autoTuning NOTIFY autoTuningChanged)
    Q_PROPERTY(QVector<double> dacVoltages READ dacVoltages WRITE setDacVoltages)

public:
    // `backend` is the parent; its "numCh" property gives the number of channels.
    ProgrammableThresholdWrapper(ProgrammableThreshold *module, QObject *backend);
    ~ProgrammableThresholdWrapper() override;

    QVector<ProgrammableThresholdChannel *> channels() const { return m_channels; }
    bool autoTuning() const { return m_autoTuning; }
    QVector<double> dacVoltages() const;
    void setDacVoltages(const QVector<double> &voltages);

    // Voltage changes still waiting for the flush.
    bool flushPending() const { return m_voltageFlushTimer.isActive(); }

    void releaseModule() override;

    // The highest threshold a user may ask for, volts.
    static constexpr double maxUserVoltage = 2.5;

signals:
    void autoTuningChanged();
    void channelsChanged();
    void cannotAutoTuningCh(int ch);

public slots:
    void setChVoltage(ushort ch, double voltage);
    void setChEnable(ushort ch, bool chEnable);

public:
    Q_INVOKABLE void startAutoTuning();
    Q_INVOKABLE void abortAutoTuning();

private:
    bool checkChannel(ushort ch) const;
    void flushVoltages();
    // Writes `volts` to the channels, then takes back what the board applied where it had to
    // limit the voltage to a channel's range.
    void writeVoltage(const std::vector<std::uint16_t> &channels, double volts);
    void runTuning(ProgrammableThreshold *module, const std::vector<std::uint16_t> &channels);
    void applyTuningResult(std::uint16_t channel, std::error_code ec, double volts);
    void finishTuning();

    ProgrammableThreshold *m_module;
    QVector<ProgrammableThresholdChannel *> m_channels;
    QTimer m_voltageFlushTimer;
    bool m_autoTuning = false;
};
