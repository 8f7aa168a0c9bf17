#include "combinedgrid.h"

#include <algorithm>
#include <cmath>

#include "numberformat.h"

namespace {
// Bounds are whole multiples of the board unit, but their quotients in double arithmetic may
// land a hair below the whole number (2e-11 / 1e-11 is not always exactly 2); truncating that
// would put every bin one row early or make a ratio of 1 out of 2.
std::size_t wholeRatio(double q)
{
    if (!(q > 0) || !std::isfinite(q))
        return 0;
    return std::size_t(std::floor(q + 1e-6));
}
} // namespace

CombinedGrid::CombinedGrid(const std::vector<Bounds> &histograms)
{
    if (histograms.empty())
        return;
    m_minBinWidth = histograms.front().binWidth;
    m_minLeft = histograms.front().left;
    m_maxRight = histograms.front().right;
    for (const Bounds &b : histograms) {
        m_minBinWidth = std::min(m_minBinWidth, b.binWidth);
        m_minLeft = std::min(m_minLeft, b.left);
        m_maxRight = std::max(m_maxRight, b.right);
    }
    const double wanted = m_minBinWidth > 0 ? std::ceil((m_maxRight - m_minLeft) / m_minBinWidth - 1e-6) : 0.0;
    m_wantedRows = wanted > 0 && std::isfinite(wanted) ? std::size_t(std::min(wanted, 1e18)) : 0;
    m_rows = std::min(m_wantedRows, maxRows);
    for (const Bounds &b : histograms) {
        m_startRow.push_back(m_minBinWidth > 0 ? wholeRatio((b.left - m_minLeft) / m_minBinWidth) : 0);
        m_ratio.push_back(std::max<std::size_t>(1, m_minBinWidth > 0 ? wholeRatio(b.binWidth / m_minBinWidth) : 1));
        m_columns.emplace_back(m_rows, -1.0);
    }
}

void CombinedGrid::put(std::size_t h, const double *counts, std::size_t n)
{
    if (h >= m_columns.size())
        return;
    std::vector<double> &column = m_columns[h];
    const std::size_t start = m_startRow[h];
    const std::size_t ratio = m_ratio[h];
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t row = start + i * ratio;
        if (row >= m_rows)
            break;
        column[row] = counts[i];
    }
}

void CombinedGrid::appendText(std::string &out, const std::vector<std::string> &names) const
{
    out += "# Bin value [s],";
    for (std::size_t h = 0; h < names.size(); ++h) {
        if (h)
            out += ',';
        out += names[h];
    }
    out += '\n';
    out.reserve(out.size() + m_rows * (14 + 10 * m_columns.size()));
    char buffer[histfmt::maxChars];
    for (std::size_t k = 0; k < m_rows; ++k) {
        out.append(buffer, histfmt::formatG6(m_minLeft + double(k) * m_minBinWidth, buffer));
        for (const std::vector<double> &column : m_columns) {
            out += ',';
            const double v = column[k];
            if (v == -1.0)
                out += "nan";
            else
                out.append(buffer, histfmt::formatCount(v, buffer));
        }
        out += '\n';
    }
}
