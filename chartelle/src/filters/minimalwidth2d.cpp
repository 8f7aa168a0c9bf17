#include "filters/minimalwidth2d.h"

#include "filters/filtermath.h"

#include <algorithm>
#include <cmath>

namespace chartelle::datapath {

int mergeNarrowPairs(const double *in, int pairs, double w, double *out)
{
    int written = 0;
    const auto emitPair = [&](double width, double value) {
        out[written++] = width;
        out[written++] = value;
    };
    double a = 0.0;
    double h = 0.0;
    for (int k = 0; k < pairs; ++k) {
        const double dx = in[2 * k];
        const double y = in[2 * k + 1];
        if (dx >= w && a == 0.0) {
            emitPair(dx, y);
            continue;
        }
        a += dx;
        h = std::max(h, y);
        if (a < w)
            continue;
        emitPair(w, h);
        a -= w;
        // What is left of this pair starts the next merged pair; nothing left, nothing carried.
        h = a > 0.0 ? y : 0.0;
        if (a >= w) {
            emitPair(a, h);
            a = 0.0;
            h = 0.0;
        }
    }
    if (a != 0.0)
        emitPair(a, h);
    return written;
}

} // namespace chartelle::datapath

MinimalWidth2D::MinimalWidth2D(QObject *parent)
    : Filter1D(parent)
{
}

void MinimalWidth2D::setMergeWidth(double mergeWidth)
{
    if (!std::isfinite(mergeWidth) || mergeWidth < 0.0 || chartelle::datapath::fuzzyEqual(mergeWidth, m_mergeWidth))
        return;
    const double low = (1.0 - m_percMargin) * m_mergeWidth;
    const double high = (1.0 + m_percMargin) * m_mergeWidth;
    if (mergeWidth > low && mergeWidth < high)
        return;
    m_mergeWidth = mergeWidth;
    if (m_parentFilter)
        setData(m_parentFilter->data());
    emit mergeWidthChanged();
}

void MinimalWidth2D::setPercMargin(double percMargin)
{
    if (chartelle::datapath::fuzzyEqual(percMargin, m_percMargin))
        return;
    m_percMargin = percMargin;
    emit percMarginChanged();
}

bool MinimalWidth2D::_filter_func(const QVector<double> &input)
{
    const int pairs = input.size() / 2;
    // At most one output pair per input pair, plus the remainder.
    m_scratch.resize(2 * static_cast<size_t>(pairs) + 2);
    const int written = chartelle::datapath::mergeNarrowPairs(input.constData(), pairs, m_mergeWidth, m_scratch.data());
    m_data = QVector<double>(m_scratch.begin(), m_scratch.begin() + written);
    return true;
}
