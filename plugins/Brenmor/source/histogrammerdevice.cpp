#include "histogrammerdevice.h"

#include <QDebug>

namespace {
// The wrapper goes on whatever the board answers; a refusal is still worth a line in the log.
void report(const char *what, const std::error_code &ec)
{
    if (ec)
        qWarning().noquote() << QStringLiteral("Histogrammer: %1 failed: %2")
                                    .arg(QString::fromLatin1(what), QString::fromStdString(ec.message()));
}
} // namespace

void ModuleHistogrammer::setBounds(const Bounds &bounds)
{
    report("setting the bounds", m_module.setBounds(bounds).first);
}

void ModuleHistogrammer::setBoundsRaw(const BoundsRaw &bounds)
{
    report("setting the raw bounds", m_module.setBoundsRaw(bounds).first);
}

void ModuleHistogrammer::setRefCh(ChannelAndEdge ch)
{
    report("setting the reference channel", m_module.setRefCh(ch));
}

void ModuleHistogrammer::setMeasCh(ChannelAndEdge ch)
{
    report("setting the measurement channel", m_module.setMeasCh(ch));
}

void ModuleHistogrammer::setAccumulate(bool on)
{
    report("setting accumulate", m_module.setAccumulate(on));
}

void ModuleHistogrammer::setMultiHit(bool on)
{
    report("setting multi-hit", m_module.setMultiHit(on));
}

void ModuleHistogrammer::disable(bool off)
{
    report("disabling", m_module.disable(off));
}

void ModuleHistogrammer::pause(bool on)
{
    report("pausing", m_module.pause(on));
}

void ModuleHistogrammer::enable(std::chrono::duration<double> period, std::uint32_t repetitions)
{
    report("enabling", m_module.enable(period, repetitions).first);
}
