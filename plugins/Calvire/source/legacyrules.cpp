#include "legacyrules.h"

#include <QFileInfo>

#include <cmath>

LegacyConstants legacyConstants(unsigned bitCoarse, unsigned bitFine, unsigned bitOverflow,
                                unsigned binAddrWidth, double minBinWidth)
{
    LegacyConstants c;
    c.bitTimeStamp = bitCoarse + bitFine + bitOverflow;
    c.maxBitTrunc = c.bitTimeStamp > binAddrWidth ? c.bitTimeStamp - binAddrWidth : 0;
    c.maxFSR = minBinWidth * std::ldexp(1.0, int(c.bitTimeStamp));
    c.minWindowFSR = minBinWidth * std::ldexp(1.0, int(binAddrWidth));
    return c;
}

double eventsRate(std::uint64_t previousTotal, std::uint64_t total, std::int64_t previousNs, std::int64_t nowNs,
                  double previousRate)
{
    if (nowNs <= previousNs)
        return previousRate;
    // A reset between the blocks makes the total fall: the counts since then are all new.
    const double events = total >= previousTotal ? double(total - previousTotal) : double(total);
    return events * 1e9 / double(nowNs - previousNs);
}

QString completedExtension(const QString &pathOrExtension)
{
    if (pathOrExtension.startsWith(QLatin1Char('.')) && !pathOrExtension.contains(QLatin1Char('/')))
        return pathOrExtension;
    const QString suffix = QFileInfo(pathOrExtension).suffix();
    return suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
}
