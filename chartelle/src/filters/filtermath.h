#pragma once
// Small pure helpers shared by the filters: tolerant comparisons, the equality rule that
// stops unchanged data at the first node, and rectangle geometry with edges included.
#include <QRectF>
#include <QVector>

#include <algorithm>
#include <cmath>

namespace chartelle::datapath {

// Doubles that differ by no more than 1e-12 of the larger magnitude count as equal.
inline bool fuzzyEqual(double a, double b)
{
    if (a == b)
        return true;
    return std::abs(a - b) <= 1e-12 * std::max(std::abs(a), std::abs(b));
}

inline bool fuzzyEqual(const QRectF &a, const QRectF &b)
{
    return fuzzyEqual(a.x(), b.x()) && fuzzyEqual(a.y(), b.y()) && fuzzyEqual(a.width(), b.width())
        && fuzzyEqual(a.height(), b.height());
}

// Same storage, or same size and every element equal. NaN never equals anything, so a
// vector holding NaN always counts as new; two empty vectors are equal.
template <typename T>
inline bool sameValues(const QVector<T> &a, const QVector<T> &b)
{
    if (a.size() != b.size())
        return false;
    if (a.constData() == b.constData())
        return true;
    const T *pa = a.constData();
    const T *pb = b.constData();
    for (int i = 0, n = a.size(); i < n; ++i) {
        if (!(pa[i] == pb[i]))
            return false;
    }
    return true;
}

// Rectangle with its edges included. Qt's own contains() and intersected() treat a
// rectangle without height as empty, yet filter areas usually have no height (a file of
// values spans only x), so the data path uses closed intervals on both axes.
struct ClosedRect
{
    double left = 0.0;
    double right = 0.0;
    double top = 0.0;
    double bottom = 0.0;

    static ClosedRect from(const QRectF &r)
    {
        const QRectF n = r.normalized();
        return {n.left(), n.left() + n.width(), n.top(), n.top() + n.height()};
    }
    bool contains(double x, double y) const
    {
        return x >= left && x <= right && y >= top && y <= bottom;
    }
    bool isEmpty() const { return !(left <= right) || !(top <= bottom); }
    ClosedRect intersected(const ClosedRect &o) const
    {
        return {std::max(left, o.left), std::min(right, o.right), std::max(top, o.top),
                std::min(bottom, o.bottom)};
    }
    double width() const { return right - left; }
};

// Largest of values[begin..end-1] with the running maximum starting at 0.0, so an empty or
// all-negative group gives 0.0 and NaN values are passed over.
template <typename T>
inline T groupMaxFromZero(const T *values, int begin, int end)
{
    T m = T(0);
    for (int i = begin; i < end; ++i)
        m = values[i] > m ? values[i] : m;
    return m;
}

// Nearest integer, halves away from zero, saturated to int.
inline long long roundHalfAway(double x)
{
    if (!(x == x))
        return 0;
    if (x >= 9.0e18)
        return static_cast<long long>(9.0e18);
    if (x <= -9.0e18)
        return static_cast<long long>(-9.0e18);
    return std::llround(x);
}

} // namespace chartelle::datapath
