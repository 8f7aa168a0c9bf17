#include "histogramstats.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>


namespace histstats {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Counts are whole numbers and mostly small: their logarithms come from a table computed with
// std::log10 itself, so the values are the same, at a fraction of the cost.
constexpr std::size_t logTableSize = 4096;
const std::array<double, logTableSize> &logTable()
{
    static const std::array<double, logTableSize> table = [] {
        std::array<double, logTableSize> t{};
        t[0] = 0;
        for (std::size_t i = 1; i < logTableSize; ++i)
            t[i] = std::log10(double(i));
        return t;
    }();
    return table;
}

// table[0] is 0, the value of an empty bin, so the common case takes one predictable branch.
inline double logOf(double v, const std::array<double, logTableSize> &table)
{
    if (v >= 0 && v < double(logTableSize)) {
        // int, not size_t: the signed conversion is a single instruction.
        const int k = int(v);
        if (double(k) == v)
            return table[std::size_t(k)];
    }
    return v == 0 ? 0.0 : std::log10(v);
}

// Two doubles at a time (SSE2, always there on x86-64) with four independent partial sums, so
// neither the additions wait for each other nor the compiler has to reorder them itself.
typedef double v2d __attribute__((vector_size(16)));

inline v2d load2(const double *p)
{
    v2d v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline double lanes(v2d a, v2d b, v2d c, v2d d)
{
    const v2d s = (a + b) + (c + d);
    return s[0] + s[1];
}

// Σ (i − origin) × d[i] over [begin, end).
double weightedSum(const double *d, std::size_t begin, std::size_t end, double origin)
{
    v2d a0 = {0, 0}, a1 = a0, a2 = a0, a3 = a0;
    const double x0 = double(begin) - origin;
    v2d x = {x0, x0 + 1};
    const v2d two = {2, 2}, four = {4, 4}, six = {6, 6}, eight = {8, 8};
    std::size_t i = begin;
    for (; i + 8 <= end; i += 8, x += eight) {
        a0 += x * load2(d + i);
        a1 += (x + two) * load2(d + i + 2);
        a2 += (x + four) * load2(d + i + 4);
        a3 += (x + six) * load2(d + i + 6);
    }
    double s = lanes(a0, a1, a2, a3);
    for (; i < end; ++i)
        s += (double(i) - origin) * d[i];
    return s;
}

// Σ d[i] × (i − centre)² over [begin, end).
double spreadSum(const double *d, std::size_t begin, std::size_t end, double centre)
{
    v2d a0 = {0, 0}, a1 = a0, a2 = a0, a3 = a0;
    const double x0 = double(begin) - centre;
    v2d x = {x0, x0 + 1};
    const v2d two = {2, 2}, four = {4, 4}, six = {6, 6}, eight = {8, 8};
    std::size_t i = begin;
    for (; i + 8 <= end; i += 8, x += eight) {
        const v2d x1 = x + two, x2 = x + four, x3 = x + six;
        a0 += load2(d + i) * x * x;
        a1 += load2(d + i + 2) * x1 * x1;
        a2 += load2(d + i + 4) * x2 * x2;
        a3 += load2(d + i + 6) * x3 * x3;
    }
    double s = lanes(a0, a1, a2, a3);
    for (; i < end; ++i) {
        const double x1 = double(i) - centre;
        s += d[i] * x1 * x1;
    }
    return s;
}

// The visible total is a whole number of events; summed as such it does not depend on the
// order of the additions.
std::uint64_t wholeSum(const double *d, std::size_t begin, std::size_t end)
{
    // Without branches on the values: empty bins are half of a typical histogram.
    const auto whole = [](double v) {
        v = v > 0 ? v : 0.0;
        // Below 2^63 through the signed conversion, a single instruction.
        if (v < 9.2e18)
            return std::uint64_t(std::int64_t(v));
        return v < 1.8e19 ? std::uint64_t(v) : std::uint64_t(1.8e19);
    };
    std::uint64_t s0 = 0, s1 = 0;
    std::size_t i = begin;
    for (; i + 2 <= end; i += 2) {
        s0 += whole(d[i]);
        s1 += whole(d[i + 1]);
    }
    for (; i < end; ++i)
        s0 += whole(d[i]);
    return s0 + s1;
}

std::int64_t clampToInt32(double v)
{
    if (!(v == v))
        return 0;
    return std::int64_t(std::clamp(v, double(std::numeric_limits<std::int32_t>::min()),
                                   double(std::numeric_limits<std::int32_t>::max())));
}

Moments visibleFrom(const double *d, std::size_t n, double total, double binWidth, const Window &window,
                    const VisibleRange &r)
{
    if (r.count <= 0)
        return {nan, nan};
    const auto start = std::size_t(r.start);
    const auto end = std::size_t(r.end);
    const double t = r.count == std::int64_t(n) ? total : double(wholeSum(d, start, end));
    const double meanIndex = weightedSum(d, start, end, double(start)) / t;
    const double mean = window.zoomLeft + binWidth * meanIndex;
    if (r.count == 1)
        return {mean, 0.0};
    return {mean, binWidth * std::sqrt(spreadSum(d, start, end, double(start) + meanIndex) / t)};
}

} // namespace

VisibleRange visibleRange(std::size_t n, const Window &window)
{
    VisibleRange r;
    if (n == 0 || !(window.areaWidth > 0))
        return r;
    const double w = window.areaWidth / double(n);
    const std::int64_t s0 = clampToInt32(std::ceil((window.zoomLeft - window.areaLeft + window.xOffset) / w));
    const std::int64_t visible = clampToInt32(std::floor(window.zoomWidth / w));
    r.start = std::max<std::int64_t>(s0, 0);
    r.end = s0 + visible;
    r.count = visible;
    if (s0 < 0)
        r.count -= -s0;
    if (r.end > std::int64_t(n)) {
        r.count = std::int64_t(n) - r.start;
        r.end = std::int64_t(n);
    }
    return r;
}

Moments visibleMoments(const double *data, std::size_t n, double total, double binWidth, const Window &window)
{
    return visibleFrom(data, n, total, binWidth, window, visibleRange(n, window));
}

void logCounts(const double *data, std::size_t n, double *out)
{
    const auto &table = logTable();
    for (std::size_t i = 0; i < n; ++i)
        out[i] = logOf(data[i], table);
}

Analysis analyse(const double *data, std::size_t n, double total, double binWidth, const Window &window,
                 double *logOut)
{
    Analysis a;
    if (n == 0) {
        a.whole = {nan, nan};
        a.visible = {nan, nan};
        return a;
    }
    // Highest bin and the log view in one pass; the two sums below are separate passes
    // because the spread needs the mean.
    const auto &table = logTable();
    double best = data[0];
    std::size_t bestAt = 0;
    if (logOut) {
        for (std::size_t i = 0; i < n; ++i) {
            const double v = data[i];
            logOut[i] = logOf(v, table);
            if (v > best) {
                best = v;
                bestAt = i;
            }
        }
    } else {
        for (std::size_t i = 1; i < n; ++i)
            if (data[i] > best) {
                best = data[i];
                bestAt = i;
            }
    }
    a.argmax = bestAt;
    a.maxValue = std::max(best, 0.0);

    const double meanIndex = weightedSum(data, 0, n, 0.0) / total;
    a.whole.mean = window.areaLeft + binWidth * meanIndex;
    a.whole.std = binWidth * std::sqrt(spreadSum(data, 0, n, meanIndex) / total);
    a.visible = visibleMoments(data, n, total, binWidth, window);
    return a;
}

Peak findPeakAt(const double *d, std::size_t n, double left, double binWidth, std::size_t m)
{
    if (n == 0 || m >= n || !(d[m] > 0))
        return {nan, nan, n == 0 || m >= n ? 0.0 : std::max(d[m], 0.0)};
    const double top = d[m];
    const double half = top / 2;
    std::size_t lo = m, hi = m;
    while (lo > 0 && d[lo - 1] > half)
        --lo;
    while (hi + 1 < n && d[hi + 1] > half)
        ++hi;
    double weight = 0, moment = 0;
    for (std::size_t i = lo; i <= hi; ++i) {
        weight += d[i];
        moment += double(i - lo) * d[i];
    }
    const double centroid = double(lo) + moment / weight;
    // Half-maximum crossings, between the centre of the last bin above half and the one
    // beyond it; at the end of the data the crossing is the outer edge of the last bin.
    const double leftCross = lo > 0 ? double(lo - 1) + (half - d[lo - 1]) / (d[lo] - d[lo - 1]) : double(lo) - 0.5;
    const double rightCross = hi + 1 < n ? double(hi) + (d[hi] - half) / (d[hi] - d[hi + 1]) : double(hi) + 0.5;
    return {left + (centroid + 0.5) * binWidth, (rightCross - leftCross) * binWidth, top};
}

Peak findPeak(const double *data, std::size_t n, double left, double binWidth)
{
    std::size_t m = 0;
    for (std::size_t i = 1; i < n; ++i)
        if (data[i] > data[m])
            m = i;
    return findPeakAt(data, n, left, binWidth, m);
}

} // namespace histstats
