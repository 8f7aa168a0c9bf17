#include "ttmdevice.h"

#include <QJsonDocument>
#include <QJsonObject>

std::error_code DorrinDevice::enable(Dorrin::Callback callback, const Dorrin::ChannelMap &channels)
{
    return m_module->enable(std::move(callback), 0, channels, 0);
}

std::error_code DorrinDevice::disable()
{
    return m_module->disable();
}

std::uint64_t DorrinDevice::captured_events() const
{
    return m_module->captured_events();
}

std::uint64_t DorrinDevice::lost_events() const
{
    return m_module->lost_events();
}

bool DorrinDevice::queue_waitEmpty(std::chrono::milliseconds timeout)
{
    return m_module->queue_waitEmpty(timeout);
}

Dorrin::file_writer::description DorrinDevice::describe(const Dorrin::ChannelMap &channels) const
{
    return describeCapture(m_module->parameters(), channels);
}

Dorrin::file_writer::description describeCapture(const Dorrin::Parameters &parameters,
                                                 const Dorrin::ChannelMap &channels)
{
    QJsonObject edges;
    for (const auto &[channel, edge] : channels)
        edges.insert(QString::number(channel), edge == TDCChannel::RISING    ? QStringLiteral("rising")
                                               : edge == TDCChannel::FALLING ? QStringLiteral("falling")
                                                                             : QStringLiteral("both"));
    QJsonObject settings;
    settings.insert(QStringLiteral("tagUnit"), parameters.tagUnit);
    settings.insert(QStringLiteral("channelCount"), double(parameters.numChannels));
    settings.insert(QStringLiteral("fifoTags"), double(parameters.fifoTags));
    settings.insert(QStringLiteral("linkBytesPerSecond"), parameters.linkBytesPerSecond);
    settings.insert(QStringLiteral("channels"), edges);

    Dorrin::file_writer::description d;
    d.tagUnit = parameters.tagUnit;
    d.channels = parameters.numChannels;
    d.settingsJson = QJsonDocument(settings).toJson(QJsonDocument::Compact).toStdString();
    return d;
}
