#include "programmablethresholdwrapper.h"

#include <QDebug>
#include <QMetaObject>
#include <QMetaType>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <future>
#include <utility>

#include "tdc/programmablethreshold.h"
#include "tuningoutcome.h"
#include "voltagewrites.h"

namespace {
constexpr int kFlushIntervalMs = 100;

QString listText(const QVector<double> &values)
{
    QStringList parts;
    for (double v : values)
        parts << QString::number(v);
    return QStringLiteral("[") + parts.join(QStringLiteral(", ")) + QStringLiteral("]");
}

QString listText(const std::vector<std::uint16_t> &channels)
{
    QStringList parts;
    for (std::uint16_t c : channels)
        parts << QString::number(c);
    return parts.join(QStringLiteral(", "));
}
} // namespace

ProgrammableThresholdWrapper::ProgrammableThresholdWrapper(ProgrammableThreshold *module, QObject *backend)
    : TDCBaseExtensionObject(module, backend), m_module(module)
{
    qRegisterMetaType<ProgrammableThresholdChannel *>("ProgrammableThresholdChannel*");
    qRegisterMetaType<QVector<ProgrammableThresholdChannel *>>("QVector<ProgrammableThresholdChannel*>");
    qRegisterMetaType<QVector<double>>("QVector<double>");

    qDebug().noquote() << "Init ProgrammableThresholdWrapper...";
    m_persistedProperties << QStringLiteral("dacVoltages");

    unsigned n = backend ? backend->property("numCh").toUInt() : 0;
    qDebug().noquote() << "ProgrammableThreshold has" << n << "channels.";
    if (m_module && n > m_module->numChannels()) {
        // Channels the DAC module does not have would show a range and a voltage of nothing.
        qWarning().noquote() << "The threshold module has only" << m_module->numChannels() << "of" << n << "channels.";
        n = m_module->numChannels();
    }
    // The id is kept in 8 bits.
    n = std::min(n, 256u);
    if (m_module) {
        for (unsigned ch = 0; ch < n; ++ch) {
            const DACModule::OutRange range = m_module->getRange(std::uint16_t(ch));
            auto *channel = new ProgrammableThresholdChannel(std::uint8_t(ch), range.kind, range.min, range.max, this);
            m_channels.append(channel);
            // The voltage is taken even on an error: it is then the last one the library knew.
            channel->setVoltage(m_module->getVoltage(std::uint16_t(ch)).second);
        }
    }

    m_voltageFlushTimer.setSingleShot(true);
    m_voltageFlushTimer.setInterval(kFlushIntervalMs);
    connect(&m_voltageFlushTimer, &QTimer::timeout, this, &ProgrammableThresholdWrapper::flushVoltages);
    qDebug().noquote() << "Init ProgrammableThresholdWrapper completed.";
}

ProgrammableThresholdWrapper::~ProgrammableThresholdWrapper()
{
    // The backend releases every model before it destroys the modules; this covers a model
    // deleted while its module lives on.
    releaseModule();
}

void ProgrammableThresholdWrapper::releaseModule()
{
    if (m_module) {
        // A search would keep the tuning task waiting for seconds; the board puts the
        // unfinished channels back, and their results come back cancelled at once.
        if (m_autoTuning)
            m_module->abortAutoThreshold();
        // Changes made in the last moments before disconnection still reach the board.
        if (m_voltageFlushTimer.isActive()) {
            m_voltageFlushTimer.stop();
            flushVoltages();
        }
    }
    TDCBaseExtensionObject::releaseModule();
    m_module = nullptr;
}

bool ProgrammableThresholdWrapper::checkChannel(ushort ch) const
{
    if (ch < m_channels.size())
        return true;
    qWarning().noquote() << "Try to set ch." << ch << "when ProgrammableThreshold total channels are" << m_channels.size();
    return false;
}

void ProgrammableThresholdWrapper::setChVoltage(ushort ch, double voltage)
{
    if (!checkChannel(ch))
        return;
    if (!std::isfinite(voltage)) {
        qWarning().noquote() << "Threshold voltage of channel" << ch << "not set: it is not a number.";
        return;
    }
    const double v = std::min(voltage, maxUserVoltage);
    if (m_channels[ch]->selected()) {
        for (ProgrammableThresholdChannel *channel : qAsConst(m_channels)) {
            if (channel->selected() && !channel->fixed()) {
                channel->setVoltage(v);
                channel->setPending(true);
            }
        }
    } else {
        m_channels[ch]->setVoltage(v);
        m_channels[ch]->setPending(true);
    }
    if (!m_voltageFlushTimer.isActive())
        m_voltageFlushTimer.start();
}

void ProgrammableThresholdWrapper::flushVoltages()
{
    std::vector<std::pair<std::uint16_t, double>> pending;
    for (ProgrammableThresholdChannel *channel : qAsConst(m_channels)) {
        if (!channel->pending())
            continue;
        channel->setPending(false);
        pending.emplace_back(channel->id(), channel->voltage());
    }
    if (!m_module)
        return;
    // Each voltage goes out once for all channels waiting for it; a selection dragged along
    // is therefore one write carrying the last voltage.
    for (const VoltageWrite &write : planVoltageWrites(pending))
        writeVoltage(write.channels, write.volts);
}

void ProgrammableThresholdWrapper::writeVoltage(const std::vector<std::uint16_t> &channels, double volts)
{
    if (channels.empty())
        return;
    qDebug().noquote() << QStringLiteral("Write threshold %1 V to channels %2").arg(volts).arg(listText(channels));
    // A fixed channel in the list answers an error; the others are set all the same.
    m_module->setVoltage(channels, volts);
    // The board limits a voltage to the channel's range. Within one DAC step the difference
    // is the quantisation, which the view need not show; beyond it the board did not apply
    // what the field says, and the field must show what applies.
    const double tolerance = m_module->step();
    for (std::uint16_t c : channels) {
        ProgrammableThresholdChannel *channel = m_channels[c];
        if (channel->fixed())
            continue;
        const auto [ec, applied] = m_module->getVoltage(c);
        if (ec || std::abs(applied - channel->voltage()) <= tolerance)
            continue;
        qDebug().noquote() << QStringLiteral("Threshold of channel %1 limited by the board to %2 V").arg(c).arg(applied);
        channel->setVoltage(applied);
    }
}

void ProgrammableThresholdWrapper::setChEnable(ushort ch, bool chEnable)
{
    if (!checkChannel(ch))
        return;
    std::vector<std::uint16_t> list;
    if (m_channels[ch]->selected()) {
        for (ProgrammableThresholdChannel *channel : qAsConst(m_channels)) {
            if (channel->selected()) {
                channel->setEnabled(chEnable);
                list.push_back(channel->id());
            }
        }
    } else {
        m_channels[ch]->setEnabled(chEnable);
        list.push_back(ch);
    }
    ProgrammableThreshold *module = m_module;
    startTask([module, list, chEnable] {
        module->setChannelStatus(list, chEnable ? DACModule::ENABLED : DACModule::DISABLED, DACModule::UNCHANGED);
    });
}

void ProgrammableThresholdWrapper::startAutoTuning()
{
    if (m_autoTuning) {
        qWarning().noquote() << "ProgrammableThreshold AutoTuning is already running.";
        return;
    }
    if (!m_module) {
        qWarning().noquote() << "ProgrammableThreshold AutoTuning not started: the board is gone.";
        return;
    }
    qDebug().noquote() << "Start ProgrammableThreshold AutoTuning...";
    std::vector<std::uint16_t> list;
    for (ProgrammableThresholdChannel *channel : qAsConst(m_channels))
        if (channel->selected())
            list.push_back(channel->id());
    if (list.empty())
        for (ProgrammableThresholdChannel *channel : qAsConst(m_channels))
            list.push_back(channel->id());

    m_autoTuning = true;
    emit autoTuningChanged();
    ProgrammableThreshold *module = m_module;
    if (!startTask([this, module, list] { runTuning(module, list); }))
        finishTuning();
}

void ProgrammableThresholdWrapper::runTuning(ProgrammableThreshold *module, const std::vector<std::uint16_t> &channels)
{
    // Pool thread. The module's futures all end in bounded time (its watcher has a deadline,
    // an abort and the module's destruction end them at once). Everything QML reads changes
    // on the GUI thread, in the order the results came: a result posted here is applied
    // before the end of the run.
    std::vector<std::future<ProgrammableThreshold::Result>> futures = module->autoThreshold(channels);
    for (auto &future : futures) {
        const auto [channel, ec, volts] = future.get();
        QMetaObject::invokeMethod(this, [this, channel = channel, ec = ec, volts = volts] {
            applyTuningResult(channel, ec, volts);
        }, Qt::QueuedConnection);
    }
    QMetaObject::invokeMethod(this, [this] { finishTuning(); }, Qt::QueuedConnection);
}

void ProgrammableThresholdWrapper::applyTuningResult(std::uint16_t channel, std::error_code ec, double volts)
{
    switch (tuningOutcome(ec)) {
    case TuningOutcome::Applied:
        qDebug().noquote() << "Set channle voltage" << channel << "to: " << volts;
        if (channel < m_channels.size())
            m_channels[channel]->setVoltage(volts);
        break;
    case TuningOutcome::Cancelled:
        break;
    case TuningOutcome::Fixed:
        qDebug().noquote() << "Channel" << channel << "has a fixed threshold; it is not tuned.";
        break;
    case TuningOutcome::Failed:
        emit cannotAutoTuningCh(channel);
        qWarning().noquote() << "Cannot set voltage of channel:" << channel
                             << "\nError: " + QString::fromStdString(ec.message());
        break;
    }
}

void ProgrammableThresholdWrapper::finishTuning()
{
    qInfo().noquote() << "ProgrammableThreshold AutoTuning Completed";
    m_autoTuning = false;
    emit autoTuningChanged();
}

void ProgrammableThresholdWrapper::abortAutoTuning()
{
    const bool aborted = m_module ? m_module->abortAutoThreshold() : false;
    qDebug().noquote() << "Abort AutoTuning: " << aborted;
}

QVector<double> ProgrammableThresholdWrapper::dacVoltages() const
{
    QVector<double> voltages;
    voltages.reserve(m_channels.size());
    for (ProgrammableThresholdChannel *channel : m_channels)
        voltages.append(channel->voltage());
    qDebug().noquote() << "Saving ProgrammableThreshold Voltages: " + listText(voltages);
    return voltages;
}

void ProgrammableThresholdWrapper::setDacVoltages(const QVector<double> &voltages)
{
    qDebug().noquote() << "Loading DAC Voltages: " + listText(voltages);
    if (voltages.size() != m_channels.size()) {
        qWarning().noquote() << "Cannot load ProgrammableThreshold saved configuration.\n"
                      "Wrong number of channels: received"
                   << voltages.size() << "real" << m_channels.size();
        return;
    }
    for (double v : voltages) {
        if (!std::isfinite(v)) {
            qWarning().noquote() << "Cannot load ProgrammableThreshold saved configuration.\n"
                          "A voltage is not a number:"
                       << listText(voltages);
            return;
        }
    }
    for (int i = 0; i < voltages.size(); ++i) {
        ProgrammableThresholdChannel *channel = m_channels[i];
        // A fixed threshold is the board's; a stored value cannot move it.
        if (channel->fixed())
            continue;
        channel->setVoltage(voltages[i]);
        if (m_module)
            writeVoltage({std::uint16_t(i)}, voltages[i]);
    }
}
