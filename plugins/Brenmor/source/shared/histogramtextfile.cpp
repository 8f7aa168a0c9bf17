#include "histogramtextfile.h"

#include <QFile>

#include <cstdint>
#include <vector>

#include "numberformat.h"

namespace histfile {

namespace {
// The bin values of a block ("<value>,") depend only on the bounds, which stay the same from
// one window to the next: each thread keeps the column of the last bounds it wrote.
struct BinColumn {
    double left = 0;
    double binWidth = 0;
    std::size_t n = 0;
    std::string text;               // every "<value>," one after the other
    std::vector<std::uint32_t> end; // end of value i in text
};

const BinColumn &binColumn(double left, double binWidth, std::size_t n)
{
    thread_local BinColumn column;
    if (column.n == n && column.left == left && column.binWidth == binWidth && n > 0)
        return column;
    column.left = left;
    column.binWidth = binWidth;
    column.n = n;
    column.text.clear();
    column.end.clear();
    column.end.reserve(n);
    char buffer[histfmt::maxChars];
    for (std::size_t i = 0; i < n; ++i) {
        column.text.append(buffer, histfmt::formatG6(left + double(i + 1) * binWidth, buffer));
        column.text += ',';
        column.end.push_back(std::uint32_t(column.text.size()));
    }
    return column;
}

// Columns of at most this many bins are kept (about 10 MiB of text).
constexpr std::size_t cachedBins = std::size_t(1) << 20;
} // namespace

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
    if (n <= cachedBins) {
        const BinColumn &column = binColumn(left, binWidth, n);
        std::uint32_t start = 0;
        for (std::size_t i = 0; i < n; ++i) {
            out.append(column.text, start, column.end[i] - start);
            start = column.end[i];
            std::size_t k = histfmt::formatCount(counts[i], line);
            line[k++] = '\n';
            out.append(line, k);
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            std::size_t k = histfmt::formatG6(left + double(i + 1) * binWidth, line);
            line[k++] = ',';
            k += histfmt::formatCount(counts[i], line + k);
            line[k++] = '\n';
            out.append(line, k);
        }
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
