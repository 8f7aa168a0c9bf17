#include "chartelle/iplotter1d.h"

#include <algorithm>
#include <cmath>

IPlotter1D::IPlotter1D(QObject *parent) : IPlotter(parent) {}

int IPlotter1D::_index_at(double x) const
{
    const QRectF m = modArea();
    const int n = data().size();
    // QRectF::contains excludes nothing on the edges but needs a non-empty rectangle; the
    // bins live on the x axis, so only x is compared.
    if (n == 0 || m.width() <= 0.0 || x < m.left() || x > m.right())
        return -1;
    const double w = m.width() / n;
    return int(std::floor((x - m.left()) / w));
}

int IPlotter1D::__start_index(const QRectF &r) const
{
    const QRectF m = modArea();
    const int n = data().size();
    if (n == 0 || m.width() <= 0.0)
        return 0;
    const double w = m.width() / n;
    const double left = std::max(m.left(), r.left());
    return std::max(0, int(std::floor((left - m.left()) / w)));
}

int IPlotter1D::__end_index(const QRectF &r) const
{
    const QRectF m = modArea();
    const int n = data().size();
    if (n == 0 || m.width() <= 0.0)
        return 0;
    const double w = m.width() / n;
    const double right = std::min(m.right(), r.right());
    const double e = std::ceil((right - m.left()) / w);
    return int(std::max(0.0, std::min(double(n), e)));
}

double IPlotter1D::max_in(const QRectF &r)
{
    const QRectF m = modArea();
    const QVector<double> &d = data();
    if (d.isEmpty() || r.right() < m.left() || r.left() > m.right())
        return 0.0;
    const int s = __start_index(r);
    const int e = __end_index(r);
    float best = 0.0f;
    for (int i = s; i < e; ++i)
        best = std::max(best, float(d[i]));
    return double(best);
}

SInfoPoint IPlotter1D::mouse_hovering(const QPointF &p) const
{
    SInfoPoint info;
    info.plotter = const_cast<IPlotter1D *>(this);
    const int i = _index_at(p.x());
    info.index = i;
    const QVector<double> &d = data();
    if (i < 0 || i >= d.size() || p.y() > d[i])
        return info;
    const QRectF m = modArea();
    const double w = m.width() / d.size();
    info.rect = QRectF(m.left() + i * w, 0, w, d[i]);
    info.valid = true;
    return info;
}
