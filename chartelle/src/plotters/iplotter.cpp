#include "chartelle/iplotter.h"

#include "chart/programtable.h"
#include "chartelle/ichartarea.h"

#include <QMutexLocker>
#include <QOpenGLBuffer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QtDebug>

#include <algorithm>

IPlotter::IPlotter(QObject *parent) : QObject(parent) {}

IPlotter::~IPlotter()
{
    detachFromChart();
    // GPU buffers are only touched with a current context of the render thread; when the
    // plotter goes away with its scene the share group frees what is left.
    if (QOpenGLContext::currentContext()) {
        for (QOpenGLBuffer *b : m_buffers)
            b->destroy();
    }
    qDeleteAll(m_buffers);
}

void IPlotter::detachFromChart()
{
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

void IPlotter::requestChartUpdate()
{
    if (m_chartArea)
        m_chartArea->requestUpdate();
}

void IPlotter::synchronize()
{
    if (!m_initialized)
        initialize();
    if (!m_visible)
        return;
    for (int i = 0; i < m_attributes.size() && i < m_buffers.size(); ++i) {
        const SAttributeDefinition &def = m_attributes[i];
        if (!(m_dirtyFlags & quint32(def.dirtyFlag)))
            continue;
        m_dirtyFlags &= ~quint32(def.dirtyFlag);
        if (def.mutex)
            def.mutex->lock();
        const SAttributePointer p = _fetch_attribute_data(i);
        QOpenGLBuffer *buffer = m_buffers[i];
        buffer->bind();
        buffer->allocate(p.pointer, p.size);
        buffer->release();
        if (def.mutex)
            def.mutex->unlock();
    }
}

void IPlotter::initialize()
{
    m_initialized = true;
    m_attributes += declareArributeArray();
    {
        QMutexLocker lock(&m_bufferMutex);
        __update_vertex();
        __update_index();
    }
    for (const SAttributeDefinition &def : qAsConst(m_attributes)) {
        auto *buffer = new QOpenGLBuffer(QOpenGLBuffer::Type(def.bufferType));
        buffer->create();
        buffer->setUsagePattern(QOpenGLBuffer::UsagePattern(def.usagePattern));
        m_buffers.append(buffer);
        m_dirtyFlags |= quint32(def.dirtyFlag);
    }
    emit initChanged();
}

void IPlotter::render(const QRectF &view)
{
    if (!m_visible || !m_plotterArea.intersects(view))
        return;
    QOpenGLContext *context = QOpenGLContext::currentContext();
    if (!context)
        return;
    QOpenGLFunctions *gl = context->functions();
    _fetch_render_layers(m_layers, view);
    std::sort(m_layers.begin(), m_layers.end(),
              [](const SRenderLayerDefinition &a, const SRenderLayerDefinition &b) { return a.order < b.order; });
    for (const SRenderLayerDefinition &layer : qAsConst(m_layers)) {
        if (layer.count < 1 || layer.mode == 0)
            continue;
        QOpenGLShaderProgram *program = chartelle::compiledProgram(layer.program);
        if (!program)
            continue;
        program->bind();
        _update_uniforms(*program, layer);
        for (int a : layer.attributes) {
            if (a < 0 || a >= m_buffers.size())
                continue;
            const SAttributeDefinition &def = m_attributes[a];
            const QByteArray name = def.name.toLatin1();
            m_buffers[a]->bind();
            program->enableAttributeArray(name.constData());
            program->setAttributeBuffer(name.constData(), GLenum(def.dataType), def.offset, def.tupleSize,
                                        def.stride);
        }
        const bool indexed = layer.indexAttribute >= 0 && layer.indexAttribute < m_buffers.size();
        if (indexed)
            m_buffers[layer.indexAttribute]->bind();
        if (layer.lineWidth > 0)
            gl->glLineWidth(layer.lineWidth);
        if (layer.mode & chartelle::DrawArrays) {
            gl->glDrawArrays(GLenum(layer.mode ^ chartelle::DrawArrays), layer.first, layer.count);
        } else if ((layer.mode & chartelle::DrawElements) && indexed) {
            gl->glDrawElements(GLenum(layer.mode ^ chartelle::DrawElements), layer.count,
                               GLenum(m_attributes[layer.indexAttribute].dataType),
                               reinterpret_cast<const void *>(quintptr(layer.first)));
        }
        if (indexed)
            m_buffers[layer.indexAttribute]->release();
        for (int a : layer.attributes) {
            if (a < 0 || a >= m_buffers.size())
                continue;
            program->disableAttributeArray(m_attributes[a].name.toLatin1().constData());
            m_buffers[a]->release();
        }
        program->release();
    }
    const GLenum error = gl->glGetError();
    if (error != 0)
        qWarning() << "WE GOT AN OPENGL ERROR CODE: " << error;
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
    if (chartelle::fuzzyEqual(r, m_plotterArea) && r.isNull() == m_plotterArea.isNull())
        return;
    m_plotterArea = r;
    emit plotterAreaChanged();
    emit modAreaChanged();
}

void IPlotter::setPlotterArea(const QRectF &r)
{
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
    if (sameData(v, m_data) || !m_chartArea)
        return;
    {
        QMutexLocker dataLock(&m_chartArea->dataMutex());
        m_data = v;
        if (m_initialized) {
            QMutexLocker bufferLock(&m_bufferMutex);
            if (__update_vertex())
                m_dirtyFlags |= chartelle::VertexDirty;
            if (__update_index())
                m_dirtyFlags |= chartelle::IndexDirty;
        }
    }
    emit dataChanged();
    requestChartUpdate();
}

void IPlotter::rebuildArrays()
{
    QMutexLocker bufferLock(&m_bufferMutex);
    if (__update_vertex())
        m_dirtyFlags |= chartelle::VertexDirty;
    if (__update_index())
        m_dirtyFlags |= chartelle::IndexDirty;
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

void IPlotter::_update_uniforms(QOpenGLShaderProgram &, const SRenderLayerDefinition &) {}

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
