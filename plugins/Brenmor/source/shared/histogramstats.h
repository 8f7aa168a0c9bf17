#pragma once
// Live statistics of one histogram: mean and standard deviation over the whole histogram and
// over the visible chart window, the log10 view of the counts, and the peak (position, full
// width at half maximum, height). Pure functions over a block of counts held as doubles; the
// wrappers call them on the GUI thread, benchmarks and tests call them directly.
//
// Positions are in seconds. Bin i covers [left + i × w, left + (i + 1) × w). The mean and the
// window mean count bin i at its left edge (i × w from the origin); the peak is reported at the
// centre of its bins, which is where a delay that falls into them lies on average.

#include <cstddef>
#include <cstdint>

namespace histstats {

// Where the data lies on the chart and which part of it the chart shows.
struct Window {
    double areaLeft = 0;   // left edge of the data's area, seconds
    double areaWidth = 0;  // width of the data's area, seconds
    double zoomLeft = 0;   // visible part of the chart
    double zoomWidth = 0;
    double xOffset = 0;    // shift of the bars on the chart
};

// The bins [start, end) shown by the chart; count ≤ 0 when none is.
struct VisibleRange {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t count = 0;
};
VisibleRange visibleRange(std::size_t n, const Window &window);

struct Moments {
    double mean = 0;
    double std = 0;
};

struct Analysis {
    Moments whole;       // NaN when the total is 0
    Moments visible;     // NaN when the window shows no bin
    std::size_t argmax = 0;
    double maxValue = 0; // 0 for an empty histogram
};

// One block: `total` is the block's event count, `binWidth` the module's bin width. When
// logOut is given it receives n values: 0 for an empty bin, else log10 of the count.
Analysis analyse(const double *data, std::size_t n, double total, double binWidth, const Window &window,
                 double *logOut);
// The visible-window statistics alone, for a changed zoom or offset.
Moments visibleMoments(const double *data, std::size_t n, double total, double binWidth, const Window &window);
// log10 of every count, 0 for empty bins.
void logCounts(const double *data, std::size_t n, double *out);

struct Peak {
    double position = 0; // seconds, NaN without a peak
    double fwhm = 0;     // seconds, NaN without a peak
    double counts = 0;   // height of the highest bin
};
// The highest bin (the first of equal ones), refined by the centroid of the contiguous bins
// above half its height; the width at half maximum is interpolated between bin centres.
Peak findPeak(const double *data, std::size_t n, double left, double binWidth);
Peak findPeakAt(const double *data, std::size_t n, double left, double binWidth, std::size_t argmax);

} // namespace histstats
