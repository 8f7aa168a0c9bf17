#pragma once
// The combined text file of a time-trigger run: several histograms on one time grid, one
// column each. The grid is laid out once per run from every histogram's bounds: the finest
// bin width m, the smallest left bound L and the largest right bound R give K = ceil((R − L)/m)
// rows at L + k × m. Histogram h writes its bin i into row s(h) + i × r(h), where s(h) is its
// first row and r(h) its bin width in units of m. Cells that no window has written are
// written as "nan"; a cell keeps the last value written into it.
//
//   # Bin value [s],<name 0>,<name 1>,...
//   <bin value>,<count or nan>,...   K rows
//
// A plain value; the time-trigger model hands it to its file writer thread, which alone
// changes it during a run.

#include <cstddef>
#include <string>
#include <vector>

class CombinedGrid {
public:
    struct Bounds {
        double left = 0;
        double binWidth = 0;
        double right = 0;
    };
    // A grid this long would exhaust memory long before it helps anyone (a picosecond grid
    // over a millisecond); rows beyond it are not written.
    static constexpr std::size_t maxRows = std::size_t(1) << 22;

    CombinedGrid() = default;
    explicit CombinedGrid(const std::vector<Bounds> &histograms);

    double minBinWidth() const { return m_minBinWidth; }
    double minLeft() const { return m_minLeft; }
    double maxRight() const { return m_maxRight; }
    // Rows of the grid (at most maxRows); wantedRows() is ceil((R − L) / m) before that limit.
    std::size_t rows() const { return m_rows; }
    std::size_t wantedRows() const { return m_wantedRows; }
    std::size_t columns() const { return m_columns.size(); }
    std::size_t startRow(std::size_t h) const { return m_startRow.at(h); }
    std::size_t binRatio(std::size_t h) const { return m_ratio.at(h); }
    // The cell of row k and histogram h; −1 when nothing was written there.
    double cell(std::size_t k, std::size_t h) const { return m_columns.at(h).at(k); }

    // Writes one window's counts of histogram h; ignored for an unknown h.
    void put(std::size_t h, const double *counts, std::size_t n);
    void appendText(std::string &out, const std::vector<std::string> &names) const;

private:
    double m_minBinWidth = 0;
    double m_minLeft = 0;
    double m_maxRight = 0;
    std::size_t m_rows = 0;
    std::size_t m_wantedRows = 0;
    std::vector<std::size_t> m_startRow;
    std::vector<std::size_t> m_ratio;
    std::vector<std::vector<double>> m_columns;
};
