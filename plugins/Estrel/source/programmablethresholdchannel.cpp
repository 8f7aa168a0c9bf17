#include "programmablethresholdchannel.h"

#include <algorithm>
#include <cmath>

ProgrammableThresholdChannel::ProgrammableThresholdChannel(std::uint8_t id, int kind, double minVoltage,
                                                           double maxVoltage, QObject *parent)
    : QObject(parent), m_id(id), m_minVoltage(minVoltage), m_maxVoltage(maxVoltage), m_fixed(kind == 0)
{
}

void ProgrammableThresholdChannel::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    emit selectedChanged();
}

void ProgrammableThresholdChannel::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    emit enabledChanged();
}

void ProgrammableThresholdChannel::setVoltage(double voltage)
{
    if (std::abs(voltage - m_voltage) <= 1e-12 * std::max(std::abs(voltage), std::abs(m_voltage)))
        return;
    m_voltage = voltage;
    emit voltageChanged();
}
