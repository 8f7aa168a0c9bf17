#include "plotters/barplotter.h"

#include "chart/programtable.h"
#include "chartelle/ichartarea.h"
#include "shaders/chartprograms.h"

#include <QMutexLocker>
#include <QOpenGLBuffer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QtDebug>

#include <algorithm>
#include <cmath>

namespace {
constexpr quint32 PointsDirty = 0x1;
constexpr quint32 IdsDirty = 0x2;
constexpr quint32 IndicesDirty = 0x4;

const char *vertexShader()
{
    return "attribute float point;\nattribute float vertexID;\nuniform float screen_x;\n"
           "uniform float screen_dx;\nuniform float screen_dy;\nvoid main()\n{\n"
           "   float x\t\t= vertexID * screen_dx + screen_x;\n"
           "   gl_Position\t= vec4( x, -point/screen_dy + 1.0, 1.0, 1.0);\n}\n";
}

const char *fragmentShader()
{
    return "#ifdef GL_ES\nprecision mediump float;\n#endif\nuniform vec4 bar_color;\n"
           "void main()\n{\n    gl_FragColor = bar_color;\n}";
}
}  // namespace

BarPlotter::BarPlotter(QObject *parent) : IPlotter1D(parent)
{
    m_programName = QStringLiteral("barplotter");
}

BarPlotter::~BarPlotter()
{
    detachFromChart();
    if (QOpenGLContext::currentContext()) {
        for (QOpenGLBuffer *b : {m_pointBuffer, m_idBuffer, m_indexBuffer}) {
            if (b)
                b->destroy();
        }
    }
    delete m_pointBuffer;
    delete m_idBuffer;
    delete m_indexBuffer;
}

bool BarPlotter::__update_vertex()
{
    const int n = m_data.size();
    m_bins = n;
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
    m_dirty |= PointsDirty | IdsDirty;
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
    m_dirty |= IndicesDirty;
    return true;
}

void BarPlotter::setData(const QVector<double> &v)
{
    if (sameData(v, m_data))
        return;
    {
        // The render thread reads the bin count under the chart's data mutex.
        QMutexLocker dataLock(m_chartArea ? &m_chartArea->dataMutex() : nullptr);
        QMutexLocker lock(&m_bufferMutex);
        m_data = v;
        if (m_glReady) {
            __update_vertex();
            __update_index();
        }
    }
    emit dataChanged();
    requestChartUpdate();
}

void BarPlotter::setPlotterArea(const QRectF &r)
{
    QRectF area = r;
    if (m_glReady)
        area.setHeight(m_plotterArea.height());
    IPlotter1D::setPlotterArea(area);
}

void BarPlotter::synchronize()
{
    if (!m_glReady) {
        m_glReady = true;
        m_pointBuffer = new QOpenGLBuffer(QOpenGLBuffer::VertexBuffer);
        m_idBuffer = new QOpenGLBuffer(QOpenGLBuffer::VertexBuffer);
        m_indexBuffer = new QOpenGLBuffer(QOpenGLBuffer::IndexBuffer);
        for (QOpenGLBuffer *b : {m_pointBuffer, m_idBuffer, m_indexBuffer}) {
            b->create();
            b->setUsagePattern(QOpenGLBuffer::DynamicDraw);
        }
        QMutexLocker lock(&m_bufferMutex);
        __update_vertex();
        __update_index();
        m_dirty = PointsDirty | IdsDirty | IndicesDirty;
    }
    if (!m_visible)
        return;
    QMutexLocker lock(&m_bufferMutex);
    auto upload = [this](quint32 flag, QOpenGLBuffer *b, const void *p, int size) {
        if (!(m_dirty & flag))
            return;
        m_dirty &= ~flag;
        b->bind();
        b->allocate(p, size);
        b->release();
    };
    upload(PointsDirty, m_pointBuffer, m_points.constData(), int(m_points.size() * sizeof(float)));
    upload(IdsDirty, m_idBuffer, m_vertexIds.constData(), int(m_vertexIds.size() * sizeof(float)));
    upload(IndicesDirty, m_indexBuffer, m_indices.constData(), int(m_indices.size() * sizeof(quint32)));
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

void BarPlotter::render(const QRectF &view)
{
    if (!m_visible || !m_glReady || !m_plotterArea.intersects(view))
        return;
    QOpenGLShaderProgram *program = chartelle::privateProgram(
        QStringLiteral("barplotter"), QString::fromLatin1(vertexShader()), QString::fromLatin1(fragmentShader()),
        "Link shader program for BarPlotter failed with log:\n");
    if (!program)
        return;
    const QRectF m = modArea();
    const QPair<int, int> range = visibleRange(view);
    if (range.second <= range.first)
        return;
    const double w = m.width() / m_data.size();
    QOpenGLFunctions *gl = QOpenGLContext::currentContext()->functions();
    program->bind();
    program->setUniformValue("bar_color", m_color);
    program->setUniformValue("screen_dx", float(2.0 * w / view.width()));
    program->setUniformValue("screen_x", float(2.0 * (m.left() - view.left()) / view.width() - 1.0));
    program->setUniformValue("screen_dy", float(view.height() * 0.5));
    m_pointBuffer->bind();
    program->enableAttributeArray("point");
    program->setAttributeBuffer("point", GL_FLOAT, 0, 1);
    m_idBuffer->bind();
    program->enableAttributeArray("vertexID");
    program->setAttributeBuffer("vertexID", GL_FLOAT, 0, 1);
    m_indexBuffer->bind();
    gl->glDrawElements(GL_TRIANGLES, (range.second - range.first) * 6, GL_UNSIGNED_INT,
                       reinterpret_cast<const void *>(quintptr(range.first) * 24));
    m_indexBuffer->release();
    program->disableAttributeArray("point");
    program->disableAttributeArray("vertexID");
    m_idBuffer->release();
    program->release();
    const GLenum error = gl->glGetError();
    if (error != 0)
        qWarning() << "WE GOT AN OPENGL ERROR CODE: " << error;
}
