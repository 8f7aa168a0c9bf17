#include "plotters/barplotter.h"

#include "chart/programtable.h"
#include "chartelle/ichartarea.h"

#include <QMutexLocker>

#include <algorithm>
#include <cmath>

namespace {
constexpr quint32 PointsDirty = chartelle::VertexDirty;
constexpr quint32 IdsDirty = 0x2000;
constexpr quint32 IndicesDirty = chartelle::IndexDirty;

const char *const ProgramName = "barplotter";

const char *const VertexShader =
    "attribute float point;\nattribute float vertexID;\nuniform float screen_x;\n"
    "uniform float screen_dx;\nuniform float screen_dy;\nvoid main()\n{\n"
    "   float x\t\t= vertexID * screen_dx + screen_x;\n"
    "   gl_Position\t= vec4( x, -point/screen_dy + 1.0, 1.0, 1.0);\n}\n";

const char *const FragmentShader =
    "#ifdef GL_ES\nprecision mediump float;\n#endif\nuniform vec4 bar_color;\n"
    "void main()\n{\n    gl_FragColor = bar_color;\n}";
}  // namespace

BarPlotter::BarPlotter(QObject *parent) : IPlotter1D(parent)
{
    m_programName = QString::fromLatin1(ProgramName);
    chartelle::declarePrivateProgram(m_programName, VertexShader, FragmentShader,
                                     "Link shader program for BarPlotter failed with log:\n");
}

QVector<SAttributeDefinition> BarPlotter::declareArributeArray()
{
    SAttributeDefinition point;
    point.name = QStringLiteral("point");
    point.dirtyFlag = PointsDirty;
    point.tupleSize = 1;
    point.mutex = &m_bufferMutex;
    SAttributeDefinition id = point;
    id.name = QStringLiteral("vertexID");
    id.dirtyFlag = IdsDirty;
    SAttributeDefinition index;
    index.name = QStringLiteral("index");
    index.dirtyFlag = IndicesDirty;
    index.bufferType = 0x8893;  // GL_ELEMENT_ARRAY_BUFFER
    index.dataType = 0x1405;    // GL_UNSIGNED_INT
    index.mutex = &m_bufferMutex;
    return {point, id, index};
}

SAttributePointer BarPlotter::_fetch_attribute_data(const int &attributeIndex) const
{
    switch (attributeIndex) {
    case 0:
        return {m_points.constData(), int(m_points.size() * sizeof(float))};
    case 1:
        return {m_vertexIds.constData(), int(m_vertexIds.size() * sizeof(float))};
    case 2:
        return {m_indices.constData(), int(m_indices.size() * sizeof(quint32))};
    default:
        return IPlotter1D::_fetch_attribute_data(attributeIndex);
    }
}

bool BarPlotter::__update_vertex()
{
    const int n = m_data.size();
    m_points.resize(n * 4);
    m_vertexIds.resize(n * 4);
    double top = 0.0;
    for (int i = 0; i < n; ++i) {
        const float y = float(m_data[i]);
        m_points[4 * i] = 0.0f;
        m_points[4 * i + 1] = 0.0f;
        m_points[4 * i + 2] = y;
        m_points[4 * i + 3] = y;
        m_vertexIds[4 * i] = float(i);
        m_vertexIds[4 * i + 1] = float(i + 1);
        m_vertexIds[4 * i + 2] = float(i);
        m_vertexIds[4 * i + 3] = float(i + 1);
        top = std::max(top, m_data[i]);
    }
    QRectF area = m_plotterArea;
    area.setHeight(top);
    storePlotterArea(area);
    markArraysChanged(IdsDirty);
    return true;
}

bool BarPlotter::__update_index()
{
    const int quads = m_data.size();
    if (m_indices.size() >= 6 * quads)
        return false;
    m_indices.resize(quads * 6);
    for (int q = 0; q < quads; ++q) {
        const quint32 b = quint32(4 * q);
        const quint32 quad[6] = {b + 1, b + 2, b, b + 1, b + 2, b + 3};
        std::copy(quad, quad + 6, m_indices.begin() + 6 * q);
    }
    return true;
}

void BarPlotter::setData(const QVector<double> &v)
{
    if (queuedToOwnThread(v))
        return;
    if (sameData(v, m_data))
        return;
    const QRectF before = m_plotterArea;
    {
        QMutexLocker lock(&m_bufferMutex);
        m_data = v;
        if (m_initialized)
            rebuildLocked();
    }
    announceArea(before);
    emit dataChanged();
    requestChartUpdate();
}

void BarPlotter::setPlotterArea(const QRectF &r)
{
    if (queuedToOwnThread(r))
        return;
    QRectF area = r;
    if (m_initialized)
        area.setHeight(m_plotterArea.height());
    IPlotter1D::setPlotterArea(area);
}

QPair<int, int> BarPlotter::visibleRange(const QRectF &view) const
{
    const QRectF m = modArea();
    const int bins = m_data.size();
    if (bins == 0 || m.width() <= 0.0)
        return {0, 0};
    const double w = m.width() / bins;
    const int first = std::max(0, int(std::floor((std::max(m.left(), view.left()) - m.left()) / w)));
    const int end = int(std::min(double(bins), std::ceil((std::min(m.right(), view.right()) - m.left()) / w)));
    return {first, std::max(first, end)};
}

void BarPlotter::_fetch_render_layers(QVector<SRenderLayerDefinition> &layers, const QRectF &view)
{
    if (layers.isEmpty()) {
        SRenderLayerDefinition layer;
        layer.program = QString::fromLatin1(ProgramName);
        layer.mode = chartelle::DrawElements | 0x0004;  // GL_TRIANGLES
        layer.attributes = {0, 1};
        layer.indexAttribute = 2;
        layers.append(layer);
    }
    const QPair<int, int> range = visibleRange(view);
    SRenderLayerDefinition &layer = layers.first();
    layer.first = range.first * 24;
    layer.count = (range.second - range.first) * 6;
}

void BarPlotter::_update_uniforms(SUniformValues &uniforms, const SRenderLayerDefinition &, const QRectF &view)
{
    const QRectF m = modArea();
    const double w = m.width() / std::max(1, m_data.size());
    uniforms.set("bar_color", m_color);
    uniforms.set("screen_dx", float(2.0 * w / view.width()));
    uniforms.set("screen_x", float(2.0 * (m.left() - view.left()) / view.width() - 1.0));
    uniforms.set("screen_dy", float(view.height() * 0.5));
}
