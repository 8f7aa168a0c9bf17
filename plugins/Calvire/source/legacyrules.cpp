#include "legacyrules.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstdio>

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

std::string histogramBlock(const QString &name, double binWidth, const QVector<double> &counts)
{
    std::string out = "# ---------- " + name.toStdString() + " ---------- #\n# Bin value [s], Counts\n";
    char line[64];
    for (int i = 0; i < counts.size(); ++i) {
        const double c = counts[i];
        const unsigned long long count = c > 0 ? static_cast<unsigned long long>(c) : 0;
        // snprintf follows the C locale, which a Qt program keeps for numbers.
        std::snprintf(line, sizeof line, "%g,%llu\n", (i + 1) * binWidth, count);
        out += line;
    }
    out += "# ---------------------------------------- #\n\n";
    return out;
}

bool appendToFile(const QString &path, const std::string &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return file.write(text.data(), qint64(text.size())) == qint64(text.size());
}
