#include "plotters/bardecorator.h"

#include "chart/programtable.h"
#include "chartelle/ichartarea.h"
#include "chart/plotterframe.h"

#include <QMutexLocker>
#include <QTime>

#include <algorithm>

namespace {
const char *const ProgramName = "bardecorator";

const char *const VertexShader =
    "attribute vec2 point;\nattribute float time;\nvarying vec4 vColor;\nuniform vec4 color;\n"
    "uniform float curr_time;\nuniform float screen_dy;\nvoid main()\n{\n"
    "   float alpha = min ( max( time - curr_time, 0.0 ), color.w );\n"
    "   vColor      = vec4(color.xyz, alpha );\n"
    "   float y\t\t= -point.y*screen_dy + 1.0;   gl_Position = vec4( point.x, y, 1.0, 1.0);\n}\n";

const char *const FragmentShader =
    "#ifdef GL_ES\nprecision mediump float;\n#endif\nvarying vec4 vColor;\n"
    "void main()\n{\n    gl_FragColor = vColor;\n}";

constexpr quint32 PointsDirty = chartelle::VertexDirty;
constexpr quint32 TimesDirty = 0x2000;
}  // namespace

BarDecorator::BarDecorator(QObject *parent) : IPlotter(parent)
{
    m_color = QColor(255, 255, 255, 70);
    m_programName = QString::fromLatin1(ProgramName);
    // Highlights have no area of their own; they are drawn wherever they are.
    m_drawOutsideArea = true;
    chartelle::declarePrivateProgram(m_programName, VertexShader, FragmentShader,
                                     "Link shader program for BarDecorator failed with log:\n");
    m_animation.setInterval(20);
    connect(&m_animation, &QTimer::timeout, this, &BarDecorator::animate);
}

float BarDecorator::nowUnits() const
{
    return float(QTime::currentTime().msecsSinceStartOfDay()) / m_fadeMs;
}

void BarDecorator::setMouseX(double x)
{
    if (chartelle::fuzzyEqual(x, m_mouseX))
        return;
    m_mouseX = x;
    hoverUpdate();
}

void BarDecorator::setMouseY(double y)
{
    if (chartelle::fuzzyEqual(y, m_mouseY))
        return;
    m_mouseY = y;
    hoverUpdate();
}

void BarDecorator::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    emit activeChanged();
    if (!active && !m_current.isNull())
        startHighlight(QRectF());
}

QList<IPlotter *> BarDecorator::plotters() const
{
    QList<IPlotter *> out;
    for (const QPointer<IPlotter> &p : m_plotters) {
        if (p)
            out.append(p.data());
    }
    return out;
}

void BarDecorator::watch(IPlotter *plotter)
{
    connect(plotter, &QObject::destroyed, this, &BarDecorator::forget, Qt::UniqueConnection);
}

void BarDecorator::forget(QObject *plotter)
{
    // The plotter part is gone already: entries are matched by address, never used.
    const int before = m_plotters.size();
    m_plotters.erase(std::remove_if(m_plotters.begin(), m_plotters.end(),
                                    [plotter](const QPointer<IPlotter> &p) {
                                        return !p || static_cast<QObject *>(p.data()) == plotter;
                                    }),
                     m_plotters.end());
    if (m_plotters.size() != before)
        emit plottersChanged();
}

void BarDecorator::setPlotters(const QList<IPlotter *> &plotters)
{
    if (plotters == this->plotters())
        return;
    m_plotters.clear();
    for (IPlotter *p : plotters) {
        if (!p)
            continue;
        m_plotters.append(p);
        watch(p);
    }
    emit plottersChanged();
}

void BarDecorator::addPlotter(IPlotter *newPlotter)
{
    if (!newPlotter || plotters().contains(newPlotter))
        return;
    m_plotters.append(newPlotter);
    watch(newPlotter);
    emit plottersChanged();
}

void BarDecorator::removePlotter(IPlotter *newPlotter)
{
    const int before = m_plotters.size();
    m_plotters.erase(std::remove_if(m_plotters.begin(), m_plotters.end(),
                                    [newPlotter](const QPointer<IPlotter> &p) { return !p || p == newPlotter; }),
                     m_plotters.end());
    if (newPlotter)
        disconnect(newPlotter, &QObject::destroyed, this, &BarDecorator::forget);
    if (m_plotters.size() != before)
        emit plottersChanged();
}

void BarDecorator::removeAllPlotter()
{
    if (m_plotters.isEmpty())
        return;
    for (const QPointer<IPlotter> &p : qAsConst(m_plotters)) {
        if (p)
            disconnect(p.data(), &QObject::destroyed, this, &BarDecorator::forget);
    }
    m_plotters.clear();
    emit plottersChanged();
}

void BarDecorator::hoverUpdate()
{
    IChartArea *area = chartArea();
    if (!m_active || !area || area->width() <= 0 || area->height() <= 0)
        return;
    const QRectF view = area->viewRect();
    const QPointF point(view.left() + view.width() * m_mouseX / area->width(),
                        view.top() + view.height() * (1.0 - m_mouseY / area->height()));
    // Front-most first: the plotter drawn last is the one the user sees.
    QList<IPlotter *> sorted = plotters();
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const IPlotter *a, const IPlotter *b) { return a->zOrder() > b->zOrder(); });
    QVariantList list;
    QPointer<IPlotter> first;
    QRectF firstRect;
    for (IPlotter *p : qAsConst(sorted)) {
        if (!p->visible())
            continue;
        const SInfoPoint info = p->mouse_hovering(point);
        if (!info.valid)
            continue;
        if (!first) {
            first = p;
            firstRect = info.rect;
        }
        QVariantMap entry;
        entry.insert(QStringLiteral("rect"), info.rect);
        entry.insert(QStringLiteral("plotter"), true);
        entry.insert(QStringLiteral("name"), p->name());
        entry.insert(QStringLiteral("color"), p->color());
        list.append(entry);
    }
    // Raising the plotter may run handlers that change the list; the front one is read first.
    if (first && sorted.first() != first.data())
        first->setZOrder(sorted.first()->zOrder() + 0.0001);
    if (first && firstRect != m_current)
        startHighlight(firstRect);
    else if (!first && !m_current.isNull())
        startHighlight(QRectF());
    if (list != m_infoMap) {
        m_infoMap = list;
        emit infoMapChanged();
    }
}

void BarDecorator::startHighlight(const QRectF &rect)
{
    const float now = nowUnits();
    if (!m_highlights.isEmpty())
        m_highlights.last().time = now;
    m_current = rect;
    if (!rect.isNull())
        m_highlights.append({rect, now + 3600.0f * 1000.0f / m_fadeMs});
    while (m_highlights.size() > m_maxRects)
        m_highlights.removeFirst();
    if (!m_animation.isActive())
        m_animation.start();
    requestChartUpdate();
}

void BarDecorator::animate()
{
    // Fading highlights need frames until the last one has faded out.
    const float now = nowUnits();
    const bool fading = std::any_of(m_highlights.begin(), m_highlights.end(),
                                    [now](const Highlight &h) { return h.time > now - 1.0f && h.time < now + 2.0f; });
    if (!fading)
        m_animation.stop();
    requestChartUpdate();
}

void BarDecorator::mapVertices(const QRectF &view)
{
    QMutexLocker lock(&m_bufferMutex);
    m_points.clear();
    m_times.clear();
    if (view.width() <= 0 || view.height() <= 0)
        return;
    for (const Highlight &h : qAsConst(m_highlights)) {
        const QRectF &r = h.rect;
        const float left = float(2.0 * (r.left() - view.left()) / view.width() - 1.0);
        const float right = float(2.0 * (r.right() - view.left()) / view.width() - 1.0);
        const float top = float(r.top() - view.top());
        const float bottom = float(r.bottom() - view.top());
        m_points << left << top << left << bottom << right << top << right << bottom;
        m_times << h.time << h.time << h.time << h.time;
    }
}

void BarDecorator::synchronize(PlotterFrame &frame, const QRectF &view)
{
    // The corners depend on the view, and each chart showing the decorator has its own.
    prepare();
    mapVertices(view);
    markArraysChanged(PointsDirty | TimesDirty);
    IPlotter::synchronize(frame, view);
    frame.setBlend(PlotterFrame::Blend::Highlight);
}

QVector<SAttributeDefinition> BarDecorator::declareArributeArray()
{
    SAttributeDefinition point;
    point.name = QStringLiteral("point");
    point.dirtyFlag = PointsDirty;
    point.tupleSize = 2;
    point.mutex = &m_bufferMutex;
    SAttributeDefinition time = point;
    time.name = QStringLiteral("time");
    time.dirtyFlag = TimesDirty;
    time.tupleSize = 1;
    return {point, time};
}

SAttributePointer BarDecorator::_fetch_attribute_data(const int &attributeIndex) const
{
    if (attributeIndex == 0)
        return {m_points.constData(), int(m_points.size() * sizeof(float))};
    if (attributeIndex == 1)
        return {m_times.constData(), int(m_times.size() * sizeof(float))};
    return IPlotter::_fetch_attribute_data(attributeIndex);
}

void BarDecorator::_fetch_render_layers(QVector<SRenderLayerDefinition> &layers, const QRectF &)
{
    const int quads = m_times.size() / 4;
    layers.resize(quads);
    for (int q = 0; q < quads; ++q) {
        SRenderLayerDefinition &layer = layers[q];
        layer.order = q;
        layer.first = 4 * q;
        layer.count = 4;
        layer.program = QString::fromLatin1(ProgramName);
        layer.mode = chartelle::DrawArrays | 0x0005;  // GL_TRIANGLE_STRIP
        layer.attributes = {0, 1};
        layer.indexAttribute = -1;
    }
}

void BarDecorator::_update_uniforms(SUniformValues &uniforms, const SRenderLayerDefinition &, const QRectF &view)
{
    uniforms.set("color", m_color);
    uniforms.set("curr_time", nowUnits());
    uniforms.set("screen_dy", float(2.0 / view.height()));
}
