#include "filters/movingavarangeu64.h"

#include <QtGlobal>

#include <algorithm>
#include <limits>

MovingAvarangeU64::MovingAvarangeU64(QObject *parent)
    : Filter1D(parent)
{
}

void MovingAvarangeU64::setDepth(int depth)
{
    if (depth == m_depth)
        return;
    m_depth = depth;
    emit depthChanged();
}

bool MovingAvarangeU64::_filter_func(const QVector<double> &input)
{
    const int n = input.size();
    if (n == 0)
        return false;
    // A window needs at least one sample.
    const int d = std::max(1, m_depth);
    const long long m = static_cast<long long>(n) + 2LL * (d - 1);
    if (m > std::numeric_limits<int>::max() / 2) {
        qWarning("MovingAvarangeU64: the depth is too large for the data; the data were not smoothed.");
        return false;
    }
    const double *in = input.constData();
    const auto at = [in, n](long long i) { return in[std::max(0LL, std::min<long long>(n - 1, i))]; };
    QVector<double> out(static_cast<int>(m));
    double sum = d * in[0];
    for (long long i = 0; i < m; ++i) {
        sum += at(i + 1) - at(i + 1 - d);
        out[static_cast<int>(i)] = sum / d;
    }
    m_data = out;
    return true;
}
