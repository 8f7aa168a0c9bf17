#include "triggergroup.h"

#include <QDebug>

#include <algorithm>

void TriggerGroup::add(HistogrammerDevice &device)
{
    if (std::find(m_members.begin(), m_members.end(), &device) != m_members.end())
        return;
    if (TDCHistogrammerModule *module = device.boardModule()) {
        if (const std::error_code ec = m_group.addHistogram(*module))
            qWarning().noquote() << "Time trigger: a histogrammer cannot join the group: " +
                                        QString::fromStdString(ec.message());
    }
    m_members.push_back(&device);
}

void TriggerGroup::remove(HistogrammerDevice &device)
{
    const auto it = std::find(m_members.begin(), m_members.end(), &device);
    if (it == m_members.end())
        return;
    if (TDCHistogrammerModule *module = device.boardModule())
        m_group.removeHistogram(*module);
    m_members.erase(it);
}

void TriggerGroup::enable(std::chrono::duration<double> period, std::uint32_t repetitions)
{
    const auto result = m_group.enable(period, repetitions);
    if (result.first)
        qWarning().noquote() << "Time trigger: the group cannot be enabled: " +
                                    QString::fromStdString(result.first.message());
    for (HistogrammerDevice *device : m_members)
        if (!device->boardModule())
            device->enable(period, repetitions);
}

void TriggerGroup::disable()
{
    m_group.disable(true);
    for (HistogrammerDevice *device : m_members)
        if (!device->boardModule())
            device->disable(true);
}
