#include "chartelle/iplotter.h"

#include "chart/plotterframe.h"
#include "chartelle/ichartarea.h"

#include <QMutexLocker>
#include <QThread>
#include <QtDebug>

#include <algorithm>
#include <atomic>

namespace {
quint64 nextUid()
{
    static std::atomic<quint64> counter{0};
    return ++counter;
}
}  // namespace

IPlotter::IPlotter(QObject *parent) : QObject(parent), m_uid(nextUid()) {}

IPlotter::~IPlotter()
{
    // Charts draw from their own copies, so leaving here is enough: the chart forgets the
    // copies at its next synchronisation.
    if (IChartArea *area = m_chartArea.data()) {
        m_chartArea = nullptr;
        area->removePlotter(this);
    }
}

IChartArea *IPlotter::chartArea() const
{
    return m_chartArea.data();
}

bool IPlotter::sameData(const QVector<double> &a, const QVector<double> &b)
{
    if (a.isSharedWith(b))
        return true;
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (!(a[i] == b[i]))
            return false;
    }
    return true;
}

bool IPlotter::queuedToOwnThread(const QVector<double> &data)
{
    if (QThread::currentThread() == thread())
        return false;
    QMetaObject::invokeMethod(this, [this, data]() { setData(data); }, Qt::QueuedConnection);
    return true;
}

bool IPlotter::queuedToOwnThread(const QRectF &area)
{
    if (QThread::currentThread() == thread())
        return false;
    QMetaObject::invokeMethod(this, [this, area]() { setPlotterArea(area); }, Qt::QueuedConnection);
    return true;
}

void IPlotter::requestChartUpdate()
{
    if (m_chartArea)
        m_chartArea->requestUpdate();
}

void IPlotter::markArraysChanged(quint32 flags)
{
    m_dirtyFlags |= flags;
    ++m_generation;
    for (int i = 0; i < m_attributes.size() && i < m_attributeGeneration.size(); ++i) {
        if (quint32(m_attributes[i].dirtyFlag) & flags)
            m_attributeGeneration[i] = m_generation;
    }
}

void IPlotter::rebuildLocked()
{
    if (__update_vertex())
        markArraysChanged(chartelle::VertexDirty);
    if (__update_index())
        markArraysChanged(chartelle::IndexDirty);
}

void IPlotter::prepare()
{
    if (!m_initialized)
        initialize();
}

void IPlotter::initialize()
{
    m_initialized = true;
    m_attributes += declareArributeArray();
    m_attributeGeneration.fill(0, m_attributes.size());
    const QRectF before = m_plotterArea;
    {
        QMutexLocker lock(&m_bufferMutex);
        __update_vertex();
        __update_index();
    }
    // Everything is uploaded once.
    quint32 all = 0;
    for (const SAttributeDefinition &def : qAsConst(m_attributes))
        all |= quint32(def.dirtyFlag);
    markArraysChanged(all);
    announceArea(before);
    emit initChanged();
}

void IPlotter::synchronize(PlotterFrame &frame, const QRectF &view)
{
    prepare();
    if (!m_visible) {
        // No upload while hidden: the dirty bits stay set for when it is shown again.
        frame.clearLayers();
        return;
    }
    frame.declare(m_attributes);
    {
        QMutexLocker lock(&m_bufferMutex);
        for (int i = 0; i < m_attributes.size(); ++i) {
            if (frame.uploadedGeneration(i) == m_attributeGeneration[i])
                continue;
            const SAttributePointer p = _fetch_attribute_data(i);
            frame.upload(i, m_attributeGeneration[i], p.pointer, p.size);
            m_dirtyFlags &= ~quint32(m_attributes[i].dirtyFlag);
        }
    }
    if (!m_drawOutsideArea && !m_plotterArea.intersects(view)) {
        frame.clearLayers();
        return;
    }
    _fetch_render_layers(m_layers, view);
    std::sort(m_layers.begin(), m_layers.end(),
              [](const SRenderLayerDefinition &a, const SRenderLayerDefinition &b) { return a.order < b.order; });
    QVector<PlotterFrame::Layer> layers;
    layers.reserve(m_layers.size());
    for (const SRenderLayerDefinition &def : qAsConst(m_layers)) {
        if (def.count < 1 || def.mode == 0)
            continue;
        PlotterFrame::Layer layer;
        layer.first = def.first;
        layer.count = def.count;
        layer.lineWidth = def.lineWidth;
        layer.mode = def.mode;
        layer.program = def.program;
        layer.attributes = def.attributes;
        layer.indexAttribute = def.indexAttribute;
        _update_uniforms(layer.uniforms, def, view);
        layers.append(std::move(layer));
    }
    frame.setLayers(std::move(layers));
}

double IPlotter::max_in(const QRectF &)
{
    return 0.0;
}

double IPlotter::aux_in(const QRectF &)
{
    return 0.0;
}

QRectF IPlotter::area_at(const QPointF &) const
{
    return QRectF();
}

void IPlotter::storePlotterArea(const QRectF &r)
{
    m_plotterArea = r;
}

void IPlotter::announceArea(const QRectF &before)
{
    if (chartelle::fuzzyEqual(before, m_plotterArea) && before.isNull() == m_plotterArea.isNull())
        return;
    emit plotterAreaChanged();
    emit modAreaChanged();
}

void IPlotter::setPlotterArea(const QRectF &r)
{
    if (queuedToOwnThread(r))
        return;
    if (chartelle::fuzzyEqual(r, m_plotterArea) && r.isNull() == m_plotterArea.isNull())
        return;
    m_plotterArea = r;
    emit plotterAreaChanged();
    emit modAreaChanged();
    requestChartUpdate();
}

QRectF IPlotter::modArea() const
{
    return m_plotterArea.translated(m_subtractOffset ? -m_xOffset : m_xOffset, 0.0);
}

SInfoPoint IPlotter::mouse_hovering(const QPointF &) const
{
    return SInfoPoint();
}

const QVector<double> &IPlotter::data() const
{
    return m_data;
}

void IPlotter::setData(const QVector<double> &v)
{
    if (queuedToOwnThread(v))
        return;
    if (sameData(v, m_data) || !m_chartArea)
        return;
    const QRectF before = m_plotterArea;
    {
        QMutexLocker dataLock(&m_chartArea->dataMutex());
        m_data = v;
        if (m_initialized) {
            QMutexLocker bufferLock(&m_bufferMutex);
            rebuildLocked();
        }
    }
    // Announced only now: a handler may ask for a repaint, which takes the chart's locks.
    announceArea(before);
    emit dataChanged();
    requestChartUpdate();
}

void IPlotter::rebuildArrays()
{
    const QRectF before = m_plotterArea;
    {
        QMutexLocker bufferLock(&m_bufferMutex);
        rebuildLocked();
    }
    announceArea(before);
}

QVector<SAttributeDefinition> IPlotter::declareArributeArray()
{
    qWarning().noquote() << "None Attribute define for " + m_programName + " shader program";
    return {};
}

void IPlotter::_report_missing_attributes()
{
    qInfo().noquote() << "None Attribute define for " + m_programName + " shader program";
}

bool IPlotter::__update_vertex()
{
    return false;
}

bool IPlotter::__update_index()
{
    return false;
}

void IPlotter::_custom_hook() {}

void IPlotter::_update_uniforms(SUniformValues &, const SRenderLayerDefinition &, const QRectF &) {}

SAttributePointer IPlotter::_fetch_attribute_data(const int &attributeIndex) const
{
    qCritical().noquote() << "Fetch attribute data for " + QString::number(attributeIndex) + " not implemented!";
    return {};
}

void IPlotter::_fetch_render_layers(QVector<SRenderLayerDefinition> &, const QRectF &) {}

void IPlotter::setName(const QString &name)
{
    if (name == m_name)
        return;
    m_name = name;
    emit nameChanged();
}

void IPlotter::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    emit colorChanged();
    requestChartUpdate();
}

void IPlotter::setVisible(bool visible)
{
    if (visible == m_visible)
        return;
    m_visible = visible;
    emit visibleChanged();
    requestChartUpdate();
}

void IPlotter::setZOrder(double z)
{
    if (chartelle::fuzzyEqual(z, m_zOrder))
        return;
    m_zOrder = z;
    emit zOrderChanged();
    requestChartUpdate();
}

void IPlotter::setVectorDim(uchar dim)
{
    if (dim == m_vectorDim)
        return;
    m_vectorDim = dim;
    emit vectorDimChanged();
}

void IPlotter::setDrawLayer(uint layer)
{
    if (layer == m_drawLayer)
        return;
    m_drawLayer = layer;
    emit drawLayerChanged();
    requestChartUpdate();
}

void IPlotter::setShowLegend(bool show)
{
    if (show == m_showLegend)
        return;
    m_showLegend = show;
    emit showLegendChanged();
}

void IPlotter::setChartArea(IChartArea *area)
{
    if (area == m_chartArea)
        return;
    IChartArea *previous = m_chartArea.data();
    m_chartArea = area;
    if (previous)
        previous->removePlotter(this);
    if (area)
        area->addPlotter(this);
    emit chartAreaChanged();
}

void IPlotter::setXOffset(double offset)
{
    if (chartelle::fuzzyEqual(offset, m_xOffset))
        return;
    m_xOffset = offset;
    emit xOffsetChanged();
    emit modAreaChanged();
    requestChartUpdate();
}
