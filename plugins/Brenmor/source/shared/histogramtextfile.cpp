#include "histogramtextfile.h"

#include <QFile>

#include <cstdint>
#include <cstring>
#include <vector>

#include "numberformat.h"

namespace histfile {

namespace {
// The bin values of a block ("<value>,") depend only on the bounds, which stay the same from
// one window to the next: each thread keeps the column of the last bounds it wrote. Each value
// sits in a slot of fixed size, so a line starts with one unconditional 16-byte copy.
struct Slot {
    char text[15];
    std::uint8_t length;
};
static_assert(sizeof(Slot) == 16, "one slot, one copy");

struct BinColumn {
    double left = 0;
    double binWidth = 0;
    std::size_t n = 0;
    bool fits = false; // every value fits its slot (always, for finite values)
    std::vector<Slot> cells;
};

const BinColumn &binColumn(double left, double binWidth, std::size_t n)
{
    thread_local BinColumn column;
    if (column.n == n && column.left == left && column.binWidth == binWidth && n > 0)
        return column;
    column.left = left;
    column.binWidth = binWidth;
    column.n = n;
    column.fits = true;
    column.cells.resize(n);
    char buffer[histfmt::maxChars];
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t k = histfmt::formatG6(left + double(i + 1) * binWidth, buffer);
        buffer[k++] = ',';
        if (k > sizeof(Slot::text)) {
            column.fits = false;
            k = 0;
        }
        std::memcpy(column.cells[i].text, buffer, k);
        column.cells[i].length = std::uint8_t(k);
    }
    return column;
}

// Columns of at most this many bins are kept (16 MiB of slots).
constexpr std::size_t cachedBins = std::size_t(1) << 20;

// Most bins of a start-stop histogram hold a handful of counts.
inline char *writeCount(char *p, double v)
{
    if (v >= 0 && v < 10) {
        *p = char('0' + int(v));
        return p + 1;
    }
    return p + histfmt::formatCount(v, p);
}
} // namespace

void appendHistogramBlock(std::string &out, const std::string &name, double left, double binWidth,
                          const double *counts, std::size_t n, const std::string &comments)
{
    out += "# ---------- ";
    out += name;
    out += " ---------- #\n";
    out += comments;
    out += "# Bin value [s], Counts\n";
    const BinColumn *column = n <= cachedBins ? &binColumn(left, binWidth, n) : nullptr;
    if (column && column->fits) {
        // Lines are put together in a small buffer that stays in the cache and go to the text
        // a buffer at a time (growing the text first would clear memory only to overwrite it).
        constexpr std::size_t maxLine = sizeof(Slot) + 20 + 1;
        char buffer[std::size_t(1) << 15];
        std::size_t at = 0;
        out.reserve(out.size() + n * 14 + 64);
        const Slot *slot = column->cells.data();
        for (std::size_t i = 0; i < n; ++i) {
            if (at > sizeof buffer - maxLine) {
                out.append(buffer, at);
                at = 0;
            }
            char *p = buffer + at;
            std::memcpy(p, slot[i].text, sizeof(Slot));
            p += slot[i].length;
            p = writeCount(p, counts[i]);
            *p++ = '\n';
            at = std::size_t(p - buffer);
        }
        out.append(buffer, at);
    } else {
        char line[2 * histfmt::maxChars + 2];
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
