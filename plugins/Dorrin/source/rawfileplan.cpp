#include "rawfileplan.h"

namespace rawfileplan {

Dorrin::ChannelMap channelMap(const QVector<uint> &rising, const QVector<uint> &falling)
{
    Dorrin::ChannelMap map;
    for (uint channel : rising)
        if (channel < 256)
            map[std::uint8_t(channel)] = TDCChannel::RISING;
    for (uint channel : falling) {
        // The sync channel is a clock: its falling edge says nothing its rising edge does not.
        if (channel == 0 || channel >= 256)
            continue;
        const auto at = map.find(std::uint8_t(channel));
        if (at != map.end())
            at->second = TDCChannel::BOTH;
        else
            map[std::uint8_t(channel)] = TDCChannel::FALLING;
    }
    return map;
}

QString fileName(const QString &name, const QString &extension, bool split)
{
    QString out = name;
    if (!out.endsWith(extension, Qt::CaseSensitive))
        out += extension;
    if (split) {
        const int dot = out.lastIndexOf(QLatin1Char('.'));
        if (dot >= 0)
            out.insert(dot, QStringLiteral("{:d}"));
        else
            out += QStringLiteral("{:d}");
    }
    return out;
}

} // namespace rawfileplan
