#include "filters/fixeddecimatoru64.h"

#include "filters/filtermath.h"

#include <algorithm>

FixedDecimatorU64::FixedDecimatorU64(QObject *parent)
    : Filter1D(parent)
{
    m_data = QVector<double>(m_numPoint, 0.0);
}

void FixedDecimatorU64::setNumPoint(int numPoint)
{
    numPoint = std::max(1, numPoint);
    if (m_parentFilter)
        numPoint = std::max(1, std::min(numPoint, m_parentFilter->data().size()));
    if (numPoint == m_numPoint)
        return;
    m_numPoint = numPoint;
    m_data = QVector<double>(m_numPoint, 0.0);
    if (m_parentFilter)
        setData(m_parentFilter->data());
    emit numPointChanged();
}

bool FixedDecimatorU64::_filter_func(const QVector<double> &input)
{
    const int n = input.size();
    if (area().isNull() || n == 0)
        return false;
    QVector<double> out(m_numPoint);
    const double *in = input.constData();
    const double step = double(n) / m_numPoint;
    double x = 0.0;
    int s = 0;
    for (int j = 0; j < m_numPoint; ++j) {
        x += step;
        int e = j == m_numPoint - 1 ? n : static_cast<int>(std::min<long long>(n, chartelle::datapath::roundHalfAway(x)));
        if (e > s) {
            out[j] = *std::max_element(in + s, in + e);
        } else {
            // Fewer inputs than outputs: a group without input shows the bin it lies in, so
            // a short histogram is stretched rather than shown with gaps.
            const int inside = static_cast<int>(x - step / 2);
            out[j] = in[std::max(0, std::min(n - 1, inside))];
            e = s;
        }
        s = e;
    }
    m_data = out;
    return true;
}
