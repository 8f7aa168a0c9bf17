#include "plotters/areaplotter.h"

#include <QMatrix4x4>

#include <algorithm>

AreaPlotter::AreaPlotter(QObject *parent) : IPlotter1D(parent)
{
    m_color.setAlphaF(0.5);
    m_subtractOffset = false;
    m_programName = QStringLiteral("area");
}

QVector<SAttributeDefinition> AreaPlotter::declareArributeArray()
{
    SAttributeDefinition fill;
    fill.name = QStringLiteral("vertex");
    fill.dirtyFlag = chartelle::VertexDirty;
    fill.tupleSize = 2;
    fill.mutex = &m_bufferMutex;
    SAttributeDefinition border = fill;
    border.dirtyFlag = 0x2000;
    return {fill, border};
}

SAttributePointer AreaPlotter::_fetch_attribute_data(const int &attributeIndex) const
{
    if (attributeIndex == 0)
        return {m_fill.constData(), int(m_fill.size() * sizeof(float))};
    if (attributeIndex == 1)
        return {m_border.constData(), int(m_border.size() * sizeof(float))};
    return IPlotter1D::_fetch_attribute_data(attributeIndex);
}

bool AreaPlotter::__update_vertex()
{
    const int n = m_data.size();
    m_fill.resize(n * 4);
    m_border.resize(n * 2);
    float *fill = m_fill.data();
    float *border = m_border.data();
    double top = 0.0;
    for (int i = 0; i < n; ++i) {
        const float x = float(i);
        const double y = m_data[i];
        const float fy = float(y);
        fill[4 * i] = x;
        fill[4 * i + 1] = 0.0f;
        fill[4 * i + 2] = x;
        fill[4 * i + 3] = fy;
        border[2 * i] = x;
        border[2 * i + 1] = fy;
        top = std::max(top, y);
    }
    QRectF area = m_plotterArea;
    area.setHeight(top);
    storePlotterArea(area);
    // The border array has a dirty bit of its own.
    markArraysChanged(0x2000);
    return true;
}

void AreaPlotter::setPlotterArea(const QRectF &r)
{
    if (queuedToOwnThread(r))
        return;
    QRectF area = r;
    if (m_initialized)
        area.setHeight(m_plotterArea.height());
    IPlotter1D::setPlotterArea(area);
}

void AreaPlotter::_fetch_render_layers(QVector<SRenderLayerDefinition> &layers, const QRectF &view)
{
    const int s = __start_index(view);
    const int e = std::max(s, __end_index(view));
    if (layers.isEmpty()) {
        SRenderLayerDefinition fill;
        fill.order = 0;
        fill.program = QStringLiteral("area_gradient");
        fill.mode = chartelle::DrawArrays | 0x0005;  // GL_TRIANGLE_STRIP
        fill.attributes = {0};
        SRenderLayerDefinition border;
        border.order = 1;
        border.program = QStringLiteral("area");
        border.attributes = {1};
        layers = {fill, border};
    }
    for (SRenderLayerDefinition &layer : layers) {
        if (layer.order == 0) {
            layer.first = 2 * s;
            layer.count = 2 * (e - s);
        } else {
            layer.first = s;
            layer.count = e - s;
            layer.lineWidth = float(m_borderWidth);
            layer.mode = m_borderEnable ? chartelle::DrawArrays | 0x0003 : 0;  // GL_LINE_STRIP
        }
    }
}

QVector<SRenderLayerDefinition> AreaPlotter::layersFor(const QRectF &view)
{
    QVector<SRenderLayerDefinition> layers;
    _fetch_render_layers(layers, view);
    return layers;
}

void AreaPlotter::_update_uniforms(SUniformValues &uniforms, const SRenderLayerDefinition &layer, const QRectF &v)
{
    QMatrix4x4 matrix;
    // The view origin is subtracted in double precision before anything becomes a float.
    matrix.ortho(QRectF(0.0, v.top(), v.width(), v.height()));
    matrix.translate(float(m_plotterArea.left() + m_xOffset - v.left()), 0.0f);
    const int n = std::max(1, m_data.size());
    matrix.scale(float(m_plotterArea.width() / n), 1.0f, 1.0f);
    uniforms.set("matrix", matrix);
    if (layer.order != 0) {
        uniforms.set("color", m_borderColor);
    } else {
        uniforms.set("color_top", m_color);
        uniforms.set("color_bot", m_enableGradient ? m_gradientColor : m_color);
    }
}

void AreaPlotter::setBorderWidth(double width)
{
    if (chartelle::fuzzyEqual(width, m_borderWidth))
        return;
    m_borderWidth = width;
    emit borderWidthChanged();
    requestChartUpdate();
}

void AreaPlotter::setBorderColor(const QColor &color)
{
    if (color == m_borderColor)
        return;
    m_borderColor = color;
    emit borderColorChanged();
    requestChartUpdate();
}

void AreaPlotter::setBorderEnable(bool enable)
{
    if (enable == m_borderEnable)
        return;
    m_borderEnable = enable;
    emit borderEnableChanged();
    requestChartUpdate();
}

void AreaPlotter::setEnableGradient(bool enable)
{
    if (enable == m_enableGradient)
        return;
    m_enableGradient = enable;
    emit enableGradientChanged();
    requestChartUpdate();
}

void AreaPlotter::setGradientColor(const QColor &color)
{
    if (color == m_gradientColor)
        return;
    m_gradientColor = color;
    emit gradientColorChanged();
    requestChartUpdate();
}
