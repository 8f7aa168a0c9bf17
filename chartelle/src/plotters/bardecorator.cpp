#include "plotters/bardecorator.h"

#include "chart/programtable.h"
#include "chartelle/ichartarea.h"
#include "shaders/chartprograms.h"

#include <QMutexLocker>
#include <QOpenGLBuffer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QTime>
#include <QtDebug>

#include <algorithm>

namespace {
const char *decoratorVertexShader()
{
    return "attribute vec2 point;\nattribute float time;\nvarying vec4 vColor;\nuniform vec4 color;\n"
           "uniform float curr_time;\nuniform float screen_dy;\nvoid main()\n{\n"
           "   float alpha = min ( max( time - curr_time, 0.0 ), color.w );\n"
           "   vColor      = vec4(color.xyz, alpha );\n"
           "   float y\t\t= -point.y*screen_dy + 1.0;   gl_Position = vec4( point.x, y, 1.0, 1.0);\n}\n";
}
}  // namespace

BarDecorator::BarDecorator(QObject *parent) : IPlotter(parent)
{
    m_color = QColor(255, 255, 255, 70);
    m_programName = QStringLiteral("bardecorator");
    m_animation.setInterval(20);
    connect(&m_animation, &QTimer::timeout, this, &BarDecorator::animate);
}

BarDecorator::~BarDecorator()
{
    detachFromChart();
    if (m_buffer && QOpenGLContext::currentContext())
        m_buffer->destroy();
    delete m_buffer;
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

void BarDecorator::setPlotters(const QList<IPlotter *> &plotters)
{
    if (plotters == m_plotters)
        return;
    m_plotters = plotters;
    emit plottersChanged();
}

void BarDecorator::addPlotter(IPlotter *newPlotter)
{
    if (!newPlotter || m_plotters.contains(newPlotter))
        return;
    m_plotters.append(newPlotter);
    emit plottersChanged();
}

void BarDecorator::removePlotter(IPlotter *newPlotter)
{
    if (m_plotters.removeAll(newPlotter) > 0)
        emit plottersChanged();
}

void BarDecorator::removeAllPlotter()
{
    if (m_plotters.isEmpty())
        return;
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
    std::sort(m_plotters.begin(), m_plotters.end(),
              [](const IPlotter *a, const IPlotter *b) { return a->zOrder() > b->zOrder(); });
    QVariantList list;
    IPlotter *first = nullptr;
    QRectF firstRect;
    for (IPlotter *p : qAsConst(m_plotters)) {
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
    if (first && !m_plotters.isEmpty() && m_plotters.first() != first)
        first->setZOrder(m_plotters.first()->zOrder() + 0.0001);
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
    {
        QMutexLocker lock(&m_bufferMutex);
        m_vertices.clear();
        for (const Highlight &h : qAsConst(m_highlights)) {
            const QRectF &r = h.rect;
            const float corners[4][2] = {{float(r.left()), float(r.top())},
                                         {float(r.left()), float(r.bottom())},
                                         {float(r.right()), float(r.top())},
                                         {float(r.right()), float(r.bottom())}};
            for (const auto &c : corners)
                m_vertices << c[0] << c[1] << h.time;
        }
        m_dirty = true;
    }
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

void BarDecorator::synchronize()
{
    if (!m_buffer) {
        m_buffer = new QOpenGLBuffer(QOpenGLBuffer::VertexBuffer);
        m_buffer->create();
        m_buffer->setUsagePattern(QOpenGLBuffer::DynamicDraw);
        m_dirty = true;
    }
    QMutexLocker lock(&m_bufferMutex);
    if (m_dirty) {
        m_dirty = false;
        m_buffer->bind();
        m_buffer->allocate(m_vertices.constData(), int(m_vertices.size() * sizeof(float)));
        m_buffer->release();
    }
}

void BarDecorator::render(const QRectF &view)
{
    if (!m_visible || !m_buffer || m_vertices.isEmpty() || view.width() <= 0 || view.height() <= 0)
        return;
    QOpenGLShaderProgram *program = chartelle::privateProgram(
        QStringLiteral("bardecorator"), QString::fromLatin1(decoratorVertexShader()),
        chartelle::varyingColorFragment(), "Link shader program for BarDecorator failed with log:\n");
    if (!program)
        return;
    QOpenGLFunctions *gl = QOpenGLContext::currentContext()->functions();
    // Highlight x is given in chart units; map it to clip space here so the shader only
    // scales y, as its text expects.
    QVector<float> mapped;
    {
        QMutexLocker lock(&m_bufferMutex);
        mapped = m_vertices;
    }
    for (int i = 0; i + 2 < mapped.size(); i += 3) {
        mapped[i] = float(2.0 * (double(mapped[i]) - view.left()) / view.width() - 1.0);
        mapped[i + 1] = float(double(mapped[i + 1]) - view.top());
    }
    m_buffer->bind();
    m_buffer->allocate(mapped.constData(), int(mapped.size() * sizeof(float)));
    program->bind();
    program->setUniformValue("color", m_color);
    program->setUniformValue("curr_time", nowUnits());
    program->setUniformValue("screen_dy", float(2.0 / view.height()));
    program->enableAttributeArray("point");
    program->setAttributeBuffer("point", GL_FLOAT, 0, 2, 3 * sizeof(float));
    program->enableAttributeArray("time");
    program->setAttributeBuffer("time", GL_FLOAT, 2 * sizeof(float), 1, 3 * sizeof(float));
    gl->glBlendFunc(GL_SRC_ALPHA, GL_DST_ALPHA);
    for (int q = 0; q < mapped.size() / 12; ++q)
        gl->glDrawArrays(GL_TRIANGLE_STRIP, 4 * q, 4);
    gl->glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_CONSTANT_ALPHA, GL_ONE);
    program->disableAttributeArray("point");
    program->disableAttributeArray("time");
    m_buffer->release();
    program->release();
    const GLenum error = gl->glGetError();
    if (error != 0)
        qWarning() << "WE GOT AN OPENGL ERROR CODE: " << error;
}
