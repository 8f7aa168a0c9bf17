#include "histogramtextfile.h"

#include <QFile>

#include "numberformat.h"

namespace histfile {

void appendHistogramBlock(std::string &out, const std::string &name, double left, double binWidth,
                          const double *counts, std::size_t n, const std::string &comments)
{
    out.reserve(out.size() + name.size() + 96 + n * 20);
    out += "# ---------- ";
    out += name;
    out += " ---------- #\n";
    out += comments;
    out += "# Bin value [s], Counts\n";
    char line[2 * histfmt::maxChars + 2];
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t k = histfmt::formatG6(left + double(i + 1) * binWidth, line);
        line[k++] = ',';
        k += histfmt::formatCount(counts[i], line + k);
        line[k++] = '\n';
        out.append(line, k);
    }
    out += "# ---------------------------------------- #\n\n";
}

bool appendToFile(const QString &path, const std::string &text)
{
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const qint64 written = file.write(text.data(), qint64(text.size()));
    return written == qint64(text.size()) && file.flush();
}

} // namespace histfile
