#pragma once
// The max pyramid behind DecimatorU64: level 0 is the input, every further level keeps the
// maxima of groups of about `factor` elements of the level before, down to one element.
// Built once per data change; switching the level shown costs nothing. Plain data, no Qt
// objects, used from the thread of its owner.
#include "filters/filtermath.h"

#include <QVector>

#include <cmath>
#include <type_traits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace chartelle::datapath {

// out[j] = max(0, in[2j], in[2j+1]) for j < m, the hot case of a factor-2 pyramid.
inline void pairMaxFromZero(const double *in, double *out, int m)
{
    int j = 0;
#if defined(__SSE2__)
    // maxpd(a, b) gives b when either is NaN, so max(b, max(a, 0)) passes NaN over exactly
    // as the scalar running maximum does.
    const __m128d zero = _mm_setzero_pd();
    // Four outputs per round keep two independent chains in flight.
    for (; j + 4 <= m; j += 4) {
        const __m128d a = _mm_loadu_pd(in + 2 * j);
        const __m128d b = _mm_loadu_pd(in + 2 * j + 2);
        const __m128d c = _mm_loadu_pd(in + 2 * j + 4);
        const __m128d d = _mm_loadu_pd(in + 2 * j + 6);
        const __m128d lowAB = _mm_max_pd(_mm_unpacklo_pd(a, b), zero);
        const __m128d lowCD = _mm_max_pd(_mm_unpacklo_pd(c, d), zero);
        _mm_storeu_pd(out + j, _mm_max_pd(_mm_unpackhi_pd(a, b), lowAB));
        _mm_storeu_pd(out + j + 2, _mm_max_pd(_mm_unpackhi_pd(c, d), lowCD));
    }
    for (; j + 2 <= m; j += 2) {
        const __m128d a = _mm_loadu_pd(in + 2 * j);      // in[2j], in[2j+1]
        const __m128d b = _mm_loadu_pd(in + 2 * j + 2);  // in[2j+2], in[2j+3]
        const __m128d first = _mm_unpacklo_pd(a, b);     // in[2j], in[2j+2]
        const __m128d second = _mm_unpackhi_pd(a, b);    // in[2j+1], in[2j+3]
        _mm_storeu_pd(out + j, _mm_max_pd(second, _mm_max_pd(first, zero)));
    }
#endif
    for (; j < m; ++j)
        out[j] = groupMaxFromZero(in, 2 * j, 2 * j + 2);
}

// Size of the level above one of n elements: ceil(n / factor), and always smaller than n so
// that a factor of 1 or less cannot loop for ever.
inline int levelSize(int n, double factor)
{
    int m = static_cast<int>(std::ceil(n / factor));
    if (m >= n)
        m = n - 1;
    return m < 1 ? 0 : m;
}

// One level of the pyramid into out[0..m-1], m = levelSize(n, factor): m groups whose ends
// follow a position that advances by n / m and is rounded to the nearest index.
template <typename T>
void decimateLevelInto(const T *in, int n, int m, T *out)
{
    if (n % m == 0) {
        // Equal groups: the position advances by an exact integer.
        const int k = n / m;
        if constexpr (std::is_same_v<T, double>) {
            if (k == 2) {
                pairMaxFromZero(in, out, m);
                return;
            }
        }
        for (int j = 0; j < m; ++j)
            out[j] = groupMaxFromZero(in, j * k, j * k + k);
        return;
    }
    const double step = double(n) / m;
    double x = 0.0;
    int s = 0;
    for (int j = 0; j < m; ++j) {
        x += step;
        int e = j == m - 1 ? n : static_cast<int>(std::min<long long>(n, roundHalfAway(x)));
        if (e < s)
            e = s;
        out[j] = groupMaxFromZero(in, s, e);
        s = e;
    }
}

template <typename T>
QVector<T> decimateLevel(const QVector<T> &level, double factor)
{
    const int m = levelSize(level.size(), factor);
    QVector<T> out(m);
    if (m > 0)
        decimateLevelInto(level.constData(), level.size(), m, out.data());
    return out;
}

template <typename T>
class DecimatorFilter
{
public:
    int levelCount() const { return levels.size(); }
    const QVector<T> &level(int i) const { return levels.at(i); }

protected:
    // Drops every level and builds the pyramid of input; an empty input leaves the levels
    // as they are.
    void buildLevels(const QVector<T> &input)
    {
        if (input.isEmpty())
            return;
        // Levels nobody else holds any more are rewritten in place: a fresh vector would be
        // zero-filled (and often fresh pages faulted in) only to be overwritten.
        QVector<QVector<T>> old;
        old.swap(levels);
        levels.append(input);
        while (levels.last().size() > 1) {
            const int n = levels.last().size();
            const int m = levelSize(n, factor);
            if (m < 1)
                break;
            QVector<T> next;
            const int i = levels.size();
            if (i < old.size() && old[i].size() == m && old[i].isDetached())
                next.swap(old[i]);
            else
                next = QVector<T>(m);
            decimateLevelInto(levels.last().constData(), n, m, next.data());
            levels.append(std::move(next));
        }
        if (currentLevel >= levels.size())
            currentLevel = levels.size() - 1;
    }

    QVector<QVector<T>> levels{QVector<T>()};
    double factor = 2.0;
    int currentLevel = 0;
};

} // namespace chartelle::datapath
