#include "chartelle/ichartarea.h"

#include "chart/chartrenderer.h"
#include "chart/plotterframe.h"

#include <QMutexLocker>
#include <QSignalBlocker>
#include <QThread>

#include <algorithm>

IChartArea::IChartArea(QQuickItem *parent) : QQuickFramebufferObject(parent), m_layers(3)
{
    m_deferred.setSingleShot(true);
    m_deferred.setTimerType(Qt::PreciseTimer);
    connect(&m_deferred, &QTimer::timeout, this, &IChartArea::requestUpdate);
}

IChartArea::~IChartArea()
{
    // Plotters may outlive the item; they must not point back at it. Nothing is announced
    // from a half-destroyed item.
    const QSignalBlocker blocker(this);
    if (IChartArea *source = m_source.data())
        source->m_followers.removeAll(this);
    QList<IPlotter *> plotters;
    {
        QMutexLocker lock(&m_listMutex);
        plotters.swap(m_plotters);
        for (QVector<IPlotter *> &layer : m_layers)
            layer.clear();
    }
    for (IPlotter *p : qAsConst(plotters)) {
        if (p && p->chartArea() == this)
            p->setChartArea(nullptr);
    }
}

QQuickFramebufferObject::Renderer *IChartArea::createRenderer() const
{
    return new ChartRenderer;
}

bool IChartArea::postedToOwnThread()
{
    if (QThread::currentThread() == thread())
        return false;
    QMetaObject::invokeMethod(this, &IChartArea::requestUpdate, Qt::QueuedConnection);
    return true;
}

void IChartArea::requestUpdate()
{
    if (postedToOwnThread())
        return;
    if (m_locked || !m_shouldUpdate || m_inRequest)
        return;
    if (m_updateIntervalMs != 0 && m_throttle.isValid()) {
        const qint64 elapsed = m_throttle.elapsed();
        if (elapsed < qint64(m_updateIntervalMs)) {
            if (!m_deferred.isActive())
                m_deferred.start(int(m_updateIntervalMs - elapsed));
            return;
        }
    }
    if (!m_throttle.isValid() || m_updateIntervalMs != 0)
        m_throttle.start();
    m_deferred.stop();
    m_inRequest = true;
    adaptArea();
    m_inRequest = false;
    ++m_updateCount;
    update();
    // Charts drawing these plotters repaint too; each throttles on its own.
    if (!m_notifyingFollowers) {
        m_notifyingFollowers = true;
        const QList<QPointer<IChartArea>> followers = m_followers;
        for (const QPointer<IChartArea> &f : followers) {
            if (f)
                f->requestUpdate();
        }
        m_notifyingFollowers = false;
    }
}

QRectF IChartArea::viewRect() const
{
    return m_chartRect;
}

QPointF IChartArea::mapWith(const QRectF &r, QPointF point) const
{
    const double w = width();
    const double h = height();
    const double px = w * (point.x() - r.left()) / r.width();
    const double py = h - h * (point.y() - r.top()) / r.height();
    if (!(px >= 0.0 && px <= w) || !(py >= 0.0 && py <= h))
        return QPointF(-1, -1);
    return QPointF(px, py);
}

QPointF IChartArea::mapPointToChart(QPointF point)
{
    return mapWith(m_chartRect, point);
}

QList<IPlotter *> IChartArea::drawnPlotters() const
{
    QList<IPlotter *> out;
    {
        QMutexLocker lock(&m_listMutex);
        out = m_plotters;
    }
    if (IChartArea *source = m_source.data()) {
        if (source != this) {
            for (IPlotter *p : source->plotter()) {
                if (!out.contains(p))
                    out.append(p);
            }
        }
    }
    return out;
}

void IChartArea::synchronizePlotters(PlotterFrames &frames)
{
    // The GUI thread is blocked here, so the area, the layers and every plotter's state are
    // read consistently. Plotters are prepared first: their first arrays give their areas.
    for (IPlotter *p : drawnPlotters())
        p->prepare();
    adaptArea();
    rebuildLayers();
    const QRectF view = viewRect();
    QVector<QVector<IPlotter *>> layers;
    {
        QMutexLocker lock(&m_listMutex);
        layers = m_layers;
    }
    frames.begin();
    for (const QVector<IPlotter *> &layer : qAsConst(layers)) {
        for (IPlotter *p : layer) {
            PlotterFrame &frame = frames.frame(p->uid());
            if (!frame.synced) {
                p->synchronize(frame, view);
                frame.synced = true;
            }
            frames.appendDraw(frame);
        }
    }
    frames.end();
}

void IChartArea::adaptArea()
{
    if (!m_adaptAreaToPlotters)
        return;
    QRectF r;
    for (IPlotter *p : drawnPlotters())
        r = r.united(p->plotterArea());
    if (r.isNull())
        r = QRectF(0, 0, 1, 1);
    if (r.height() == 0.0)
        r.setHeight(1.0);
    r.setHeight(r.height() * 1.05);
    setChartRect(r);
}

void IChartArea::rebuildLayers()
{
    const QList<IPlotter *> plotters = drawnPlotters();
    QVector<QVector<IPlotter *>> layers(3);
    for (int i = 0; i < 3; ++i) {
        QVector<IPlotter *> &layer = layers[i];
        for (IPlotter *p : plotters) {
            if (p->drawLayer() & (1u << i))
                layer.append(p);
        }
        std::stable_sort(layer.begin(), layer.end(),
                         [](const IPlotter *a, const IPlotter *b) { return a->zOrder() < b->zOrder(); });
    }
    QMutexLocker lock(&m_listMutex);
    m_layers.swap(layers);
}

QVector<IPlotter *> IChartArea::layer(int i) const
{
    QMutexLocker lock(&m_listMutex);
    return i >= 0 && i < m_layers.size() ? m_layers[i] : QVector<IPlotter *>();
}

void IChartArea::addPlotter(IPlotter *plotter)
{
    if (!plotter)
        return;
    {
        QMutexLocker lock(&m_listMutex);
        if (m_plotters.contains(plotter))
            return;
        m_plotters.append(plotter);
    }
    plotter->setChartArea(this);
    emit plotterChanged();
    requestUpdate();
}

void IChartArea::removePlotter(IPlotter *plotter)
{
    {
        QMutexLocker lock(&m_listMutex);
        m_plotters.removeOne(plotter);
        for (QVector<IPlotter *> &layer : m_layers)
            layer.removeAll(plotter);
    }
    emit plotterChanged();
    requestUpdate();
}

void IChartArea::forgetPlotter(QObject *plotter)
{
    // The plotter part is already gone: entries are matched by address, never cast.
    const void *gone = plotter;
    auto isGone = [gone](IPlotter *p) { return static_cast<const void *>(p) == gone; };
    {
        QMutexLocker lock(&m_listMutex);
        m_plotters.erase(std::remove_if(m_plotters.begin(), m_plotters.end(), isGone), m_plotters.end());
        for (QVector<IPlotter *> &layer : m_layers)
            layer.erase(std::remove_if(layer.begin(), layer.end(), isGone), layer.end());
    }
    emit plotterChanged();
    requestUpdate();
}

void IChartArea::lock_update()
{
    m_locked = true;
}

void IChartArea::unlock_update()
{
    m_locked = false;
}

QRectF IChartArea::chartRect() const
{
    return m_chartRect;
}

void IChartArea::setChartRect(const QRectF &r)
{
    if (chartelle::fuzzyEqual(r, m_chartRect))
        return;
    m_chartRect = r;
    emit chartRectChanged();
}

void IChartArea::setAdaptAreaToPlotters(bool adapt)
{
    if (adapt == m_adaptAreaToPlotters)
        return;
    m_adaptAreaToPlotters = adapt;
    emit adaptAreaToPlottersChanged();
}

QList<IPlotter *> IChartArea::plotter() const
{
    QMutexLocker lock(&m_listMutex);
    return m_plotters;
}

void IChartArea::setPlotter(const QList<IPlotter *> &plotters)
{
    {
        QMutexLocker lock(&m_listMutex);
        if (plotters == m_plotters)
            return;
        m_plotters = plotters;
        m_plotters.removeAll(nullptr);
        for (QVector<IPlotter *> &layer : m_layers)
            layer.clear();
    }
    for (IPlotter *p : plotters) {
        if (p)
            connect(p, &QObject::destroyed, this, &IChartArea::forgetPlotter, Qt::UniqueConnection);
    }
    emit plotterChanged();
    requestUpdate();
}

void IChartArea::setShouldUpdate(bool should)
{
    if (should == m_shouldUpdate)
        return;
    m_shouldUpdate = should;
    emit shouldUpdateChanged();
}

void IChartArea::setUpdateIntervalMs(unsigned int ms)
{
    m_updateIntervalMs = ms;
}

IChartArea *IChartArea::sourceChart() const
{
    return m_source.data();
}

void IChartArea::setSourceChart(IChartArea *source)
{
    if (source == this)
        source = nullptr;
    if (source == m_source.data())
        return;
    if (IChartArea *old = m_source.data())
        old->m_followers.removeAll(this);
    m_source = source;
    if (source)
        source->m_followers.append(this);
    emit sourceChartChanged();
    requestUpdate();
}
