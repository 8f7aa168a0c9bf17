#include "chartelle/filter1d.h"

#include "chartelle/iplotter1d.h"
#include "filters/filtermath.h"

#include <QUuid>

#include <cmath>

using chartelle::datapath::ClosedRect;

Filter1D::Filter1D(QObject *parent)
    : QObject(parent)
    , m_dataID(QUuid::createUuid().toString())
{
}

Filter1D::~Filter1D()
{
    // Children outlive a parent that is destroyed first; they must not read its data later.
    for (Filter1D *child : qAsConst(m_filters)) {
        if (child->m_parentFilter == this)
            child->setParentFilter(nullptr);
    }
}

const QVector<double> &Filter1D::data() const
{
    return m_data;
}

void Filter1D::setData(const QVector<double> &data)
{
    if (_filter_func(data))
        _request_data_update();
}

const QRectF &Filter1D::area() const
{
    return m_area;
}

void Filter1D::setArea(const QRectF &area)
{
    if (chartelle::datapath::fuzzyEqual(area, m_area))
        return;
    m_area = area;
    // Copies: a child or plotter may change this node's lists while being told.
    const QVector<Filter1D *> filters = m_filters;
    for (Filter1D *child : filters)
        child->setArea(area);
    const QVector<IPlotter1D *> plotters = m_plotters;
    for (IPlotter1D *plotter : plotters)
        plotter->setPlotterArea(area);
    emit areaChanged();
}

const QString &Filter1D::dataID() const
{
    return m_dataID;
}

void Filter1D::setDataID(const QString &dataID)
{
    if (dataID == m_dataID)
        return;
    m_dataID = dataID;
    emit dataIDChanged();
}

double Filter1D::max_in(const QRectF &rect)
{
    const QVector<double> &values = data();
    if (values.isEmpty())
        return 0.0;
    if (ClosedRect::from(rect).intersected(ClosedRect::from(area())).isEmpty())
        return 0.0;
    const int start = __start_index(rect);
    const int end = __end_index(rect);
    if (start >= end)
        return 0.0;
    return chartelle::datapath::groupMaxFromZero(values.constData(), start, end);
}

double Filter1D::value_at(double x) const
{
    const int i = index_at(x);
    return i < 0 ? 0.0 : data().at(i);
}

int Filter1D::index_at(double x) const
{
    const int n = data().size();
    const ClosedRect r = ClosedRect::from(area());
    if (n == 0 || r.width() == 0.0 || !r.contains(x, 0.0))
        return -1;
    const long long i = chartelle::datapath::roundHalfAway((x - r.left) / (r.width() / n));
    return static_cast<int>(std::max(0LL, std::min<long long>(n - 1, i)));
}

const QRectF Filter1D::area_at(const QPointF &point) const
{
    const int i = index_at(point.x());
    if (i < 0)
        return QRectF();
    const ClosedRect r = ClosedRect::from(area());
    const double w = r.width() / data().size();
    return QRectF(r.left + i * w, 0.0, w, data().at(i));
}

bool Filter1D::_filter_func(const QVector<double> &input)
{
    if (chartelle::datapath::sameValues(input, m_data))
        return false;
    m_data = input;
    return true;
}

namespace {
// Bin position of x inside a, rounded by round, kept within 0..n so callers never index
// past the data whatever the rectangle.
template <typename Round>
int binEdge(const QRectF &areaRect, const QRectF &rect, int n, bool useRight, Round round)
{
    const ClosedRect a = ClosedRect::from(areaRect);
    const ClosedRect q = a.intersected(ClosedRect::from(rect));
    if (n == 0 || a.width() == 0.0 || q.isEmpty())
        return 0;
    const double pos = ((useRight ? q.right : q.left) - a.left) / (a.width() / n);
    if (!(pos == pos))
        return 0;
    const double clamped = std::max(0.0, std::min(double(n), round(pos)));
    return static_cast<int>(clamped);
}
} // namespace

int Filter1D::__start_index(const QRectF &rect)
{
    return binEdge(area(), rect, data().size(), false, [](double v) { return std::floor(v); });
}

int Filter1D::__end_index(const QRectF &rect)
{
    return binEdge(area(), rect, data().size(), true, [](double v) { return std::ceil(v); });
}

void Filter1D::addFilter(Filter1D *filter)
{
    if (!filter || filter == this || m_filters.contains(filter))
        return;
    m_filters.append(filter);
    // A child destroyed while still attached would leave a dangling entry behind.
    connect(filter, &QObject::destroyed, this, [this, filter] { m_filters.removeAll(filter); });
    filter->setParentFilter(this);
    filter->setDataID(dataID());
    filter->setArea(area());
    filter->setData(data());
}

void Filter1D::removeFilter(Filter1D *filter)
{
    if (!m_filters.removeOne(filter))
        return;
    if (!m_filters.contains(filter))
        disconnect(filter, &QObject::destroyed, this, nullptr);
}

void Filter1D::addPlotter(IPlotter1D *plotter)
{
    if (!plotter || m_plotters.contains(plotter))
        return;
    m_plotters.append(plotter);
    connect(plotter, &QObject::destroyed, this, [this, plotter] { m_plotters.removeAll(plotter); });
    plotter->setPlotterArea(area());
    plotter->setData(data());
}

void Filter1D::removePlotter(IPlotter1D *plotter)
{
    if (!m_plotters.removeOne(plotter))
        return;
    if (!m_plotters.contains(plotter))
        disconnect(plotter, &QObject::destroyed, this, nullptr);
}

const QVector<IPlotter1D *> &Filter1D::plotters() const
{
    return m_plotters;
}

void Filter1D::_request_data_update()
{
    const QVector<Filter1D *> filters = m_filters;
    for (Filter1D *child : filters)
        child->setData(data());
    const QVector<IPlotter1D *> plotters = m_plotters;
    for (IPlotter1D *plotter : plotters)
        plotter->setData(data());
    emit dataChanged();
}

const QVector<double> &Filter1D::originalData() const
{
    return m_parentFilter ? m_parentFilter->data() : m_data;
}

int Filter1D::size2D() const
{
    return m_data.size() / 2;
}

void Filter1D::setParentFilter(const Filter1D *parent)
{
    if (m_parentWatch)
        disconnect(m_parentWatch);
    m_parentFilter = parent;
    if (parent)
        m_parentWatch = connect(parent, &QObject::destroyed, this, [this] { m_parentFilter = nullptr; });
}
