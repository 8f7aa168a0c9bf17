#include "triggergroup.h"

#include <QDebug>

#include <algorithm>

void TriggerGroup::add(HistogrammerDevice &device)
{
    if (TDCHistogrammerModule *module = device.boardModule()) {
        if (const std::error_code ec = m_group.addHistogram(*module))
            qWarning().noquote() << "Time trigger: a histogrammer cannot join the group: " +
                                        QString::fromStdString(ec.message());
        return;
    }
    if (std::find(m_standalone.begin(), m_standalone.end(), &device) == m_standalone.end())
        m_standalone.push_back(&device);
}

void TriggerGroup::remove(HistogrammerDevice &device)
{
    if (TDCHistogrammerModule *module = device.boardModule()) {
        m_group.removeHistogram(*module);
        return;
    }
    m_standalone.erase(std::remove(m_standalone.begin(), m_standalone.end(), &device), m_standalone.end());
}

void TriggerGroup::enable(std::chrono::duration<double> period, std::uint32_t repetitions)
{
    const auto result = m_group.enable(period, repetitions);
    if (result.first)
        qWarning().noquote() << "Time trigger: the group cannot be enabled: " +
                                    QString::fromStdString(result.first.message());
    for (HistogrammerDevice *device : m_standalone)
        device->enable(period, repetitions);
}

void TriggerGroup::disable()
{
    m_group.disable(true);
    for (HistogrammerDevice *device : m_standalone)
        device->disable(true);
}
