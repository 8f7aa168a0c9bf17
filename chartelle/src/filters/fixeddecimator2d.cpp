#include "filters/fixeddecimator2d.h"

#include <algorithm>

FixedDecimator2D::FixedDecimator2D(QObject *parent)
    : Filter1D(parent)
{
}

void FixedDecimator2D::setNumPoint(int numPoint)
{
    numPoint = std::max(1, numPoint);
    if (numPoint == m_numPoint)
        return;
    m_numPoint = numPoint;
    if (m_parentFilter)
        setData(m_parentFilter->data());
    emit numPointChanged();
}

bool FixedDecimator2D::_filter_func(const QVector<double> &input)
{
    const int pairs = input.size() / 2;
    if (area().isNull() || pairs == 0)
        return false;
    QVector<double> out(2 * m_numPoint, 0.0);
    const double *in = input.constData();
    const double bucketWidth = area().width() / m_numPoint;
    const double tolerance = bucketWidth / 1000.0;
    int k = 0;
    double inputEdge = in[0];
    double runningMax = in[1];
    double edge = 0.0;
    for (int j = 0; j < m_numPoint; ++j) {
        const double bucketLeft = edge;
        edge += bucketWidth;
        // Input whose widths end before the area does stops at its last pair.
        while (edge - tolerance > inputEdge && k + 1 < pairs) {
            ++k;
            inputEdge += in[2 * k];
            runningMax = std::max(runningMax, in[2 * k + 1]);
        }
        const bool pastInput = k + 1 == pairs && bucketLeft + tolerance >= inputEdge;
        out[2 * j] = bucketWidth;
        // A bucket that starts after the input ended shows nothing rather than repeating
        // the last value over an empty range.
        out[2 * j + 1] = pastInput ? 0.0 : runningMax;
        runningMax = in[2 * k + 1];
    }
    m_data = out;
    return true;
}
