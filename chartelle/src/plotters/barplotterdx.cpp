#include "chartelle/barplotterdx.h"

#include "chartelle/ichartarea.h"


#include <algorithm>

BarPlotterDx::BarPlotterDx(QObject *parent) : IPlotter1D(parent)
{
    m_programName = QStringLiteral("hresbar");
}

QVector<SAttributeDefinition> BarPlotterDx::declareArributeArray()
{
    SAttributeDefinition vertex;
    vertex.name = QStringLiteral("vertex");
    vertex.dirtyFlag = chartelle::VertexDirty;
    vertex.usagePattern = 0x88E8;  // GL_DYNAMIC_DRAW
    vertex.bufferType = 0x8892;    // GL_ARRAY_BUFFER
    vertex.dataType = 0x1406;      // GL_FLOAT
    vertex.tupleSize = 3;
    vertex.mutex = &m_bufferMutex;
    SAttributeDefinition index;
    index.name = QStringLiteral("index");
    index.dirtyFlag = chartelle::IndexDirty;
    index.usagePattern = 0x88E4;  // GL_STATIC_DRAW
    index.bufferType = 0x8893;    // GL_ELEMENT_ARRAY_BUFFER
    index.dataType = 0x1405;      // GL_UNSIGNED_INT
    index.mutex = &m_bufferMutex;
    return {vertex, index};
}

SAttributePointer BarPlotterDx::_fetch_attribute_data(const int &attributeIndex) const
{
    if (attributeIndex == 0)
        return {m_vertices.constData(), int(m_vertices.size() * sizeof(float))};
    if (attributeIndex == 1)
        return {m_indices.constData(), int(m_indices.size() * sizeof(quint32))};
    return IPlotter1D::_fetch_attribute_data(attributeIndex);
}

bool BarPlotterDx::__update_vertex()
{
    if (m_data.isEmpty())
        return false;
    const int bars = m_data.size() / 2;
    m_vertices.resize(bars * 12);
    float *out = m_vertices.data();
    double x0 = 0.0;
    double top = bars > 0 ? m_data[1] : 0.0;
    auto put = [&out](double x, double h) {
        const float msb = float(x);
        *out++ = msb;
        *out++ = float(x - double(msb));
        *out++ = float(h);
    };
    for (int k = 0; k < bars; ++k) {
        const double width = m_data[2 * k];
        const double height = m_data[2 * k + 1];
        const double x1 = x0 + width;
        put(x0, 0.0);
        put(x1, 0.0);
        put(x0, height);
        put(x1, height);
        top = std::max(top, height);
        x0 = x1;
    }
    QRectF area = m_plotterArea;
    area.setWidth(x0);
    area.setHeight(top);
    storePlotterArea(area);
    return true;
}

bool BarPlotterDx::__update_index()
{
    // Indices do not depend on the values, so an array long enough is kept as it is.
    const int quads = m_data.size() / 2;
    if (m_indices.size() >= 6 * quads)
        return false;
    m_indices.resize(quads * 6);
    quint32 *out = m_indices.data();
    for (int q = 0; q < quads; ++q) {
        const quint32 b = quint32(4 * q);
        *out++ = b + 1;
        *out++ = b + 2;
        *out++ = b;
        *out++ = b + 1;
        *out++ = b + 2;
        *out++ = b + 3;
    }
    return true;
}

int BarPlotterDx::_index_at(double x) const
{
    const QRectF a = m_plotterArea;
    const int bars = m_data.size() / 2;
    if (bars == 0 || x < a.left() || x > a.right())
        return -1;
    if (chartelle::fuzzyEqual(x, a.left()))
        return 0;
    if (chartelle::fuzzyEqual(x, a.right()))
        return bars;
    double edge = a.left();
    for (int k = 0; k < bars; ++k) {
        edge += m_data[2 * k];
        if (edge >= x)
            return k;
    }
    return bars;
}

int BarPlotterDx::__start_index(const QRectF &r) const
{
    return std::max(0, _index_at(r.left()) - 1);
}

int BarPlotterDx::__end_index(const QRectF &r) const
{
    return _index_at(r.right());
}

double BarPlotterDx::max_in(const QRectF &r)
{
    const QRectF a = m_plotterArea;
    if (m_data.size() < 2 || r.right() < a.left() || r.left() > a.right())
        return 0.0;
    // A view edge outside the bars still covers the bars up to that side.
    const int bars = m_data.size() / 2;
    const int s = r.left() <= a.left() ? 0 : __start_index(r);
    const int e = r.right() >= a.right() ? bars : std::min(bars, __end_index(r) + 1);
    double best = 0.0;
    for (int k = s; k < e; ++k)
        best = std::max(best, m_data[2 * k + 1]);
    return best;
}

QRectF BarPlotterDx::barRect(int k) const
{
    double x0 = m_plotterArea.left();
    for (int i = 0; i < k; ++i)
        x0 += m_data[2 * i];
    return QRectF(x0, 0, m_data[2 * k], m_data[2 * k + 1]);
}

SInfoPoint BarPlotterDx::mouse_hovering(const QPointF &p) const
{
    SInfoPoint info;
    info.plotter = const_cast<BarPlotterDx *>(this);
    const int k = _index_at(p.x());
    info.index = k;
    if (k < 0 || k >= m_data.size() / 2 || p.y() > m_data[2 * k + 1])
        return info;
    info.rect = barRect(k);
    info.valid = true;
    return info;
}

QRectF BarPlotterDx::area_at(const QPointF &p) const
{
    const SInfoPoint info = mouse_hovering(p);
    return info.valid ? info.rect : QRectF();
}

void BarPlotterDx::setPlotterArea(const QRectF &r)
{
    if (queuedToOwnThread(r))
        return;
    // Width and height follow the data; only the position is taken.
    QRectF area = r;
    area.setSize(m_plotterArea.size());
    IPlotter1D::setPlotterArea(area);
}

void BarPlotterDx::updateVisibleRange(const QRectF &view)
{
    const QRectF a = m_plotterArea;
    const QRectF v = a.intersected(view);
    const int bars = m_data.size() / 2;
    double edge = a.left();
    int k = 0;
    while (k < bars && edge + m_data[2 * k] < v.left()) {
        edge += m_data[2 * k];
        ++k;
    }
    m_drawFirst = std::max(0, k - 1);
    while (k < bars && edge < v.right()) {
        edge += m_data[2 * k];
        ++k;
    }
    m_drawEnd = k;
}

void BarPlotterDx::_fetch_render_layers(QVector<SRenderLayerDefinition> &layers, const QRectF &view)
{
    updateVisibleRange(view);
    if (layers.isEmpty()) {
        SRenderLayerDefinition layer;
        layer.order = 0;
        layer.program = QStringLiteral("hresbar");
        layer.mode = chartelle::DrawElements | 0x0004;  // GL_TRIANGLES
        layer.attributes = {0};
        layer.indexAttribute = 1;
        layers.append(layer);
    }
    SRenderLayerDefinition &layer = layers.first();
    layer.first = m_drawFirst * 24;
    layer.count = (m_drawEnd - m_drawFirst) * 6;
}

void BarPlotterDx::_update_uniforms(SUniformValues &uniforms, const SRenderLayerDefinition &, const QRectF &view)
{
    const double d = view.left() - m_plotterArea.left();
    const float msb = float(d);
    const float lsb = float(d - double(msb));
    uniforms.set("x_msb", msb);
    uniforms.set("x_lsb", lsb);
    uniforms.set("screen_dx", float(2.0 / view.width()));
    uniforms.set("screen_dy", float(view.height() * 0.5));
    uniforms.set("color", m_color);
}
