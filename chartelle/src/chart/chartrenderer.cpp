#include "chart/chartrenderer.h"

#include "chart/programtable.h"
#include "chartelle/ichartarea.h"

#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFramebufferObjectFormat>
#include <QOpenGLFunctions>
#include <QQuickWindow>

QOpenGLFramebufferObject *ChartRenderer::createFramebufferObject(const QSize &size)
{
    QOpenGLFramebufferObjectFormat format;
    format.setAttachment(QOpenGLFramebufferObject::NoAttachment);
    format.setSamples(0);
    if (chartelle::compiledProgramsEmpty())
        chartelle::compileRegisteredPrograms();
    return new QOpenGLFramebufferObject(size, format);
}

void ChartRenderer::synchronize(QQuickFramebufferObject *item)
{
    m_window = item->window();
    static_cast<IChartArea *>(item)->synchronizePlotters(m_frames);
}

void ChartRenderer::render()
{
    QOpenGLFunctions *gl = QOpenGLContext::currentContext()->functions();
    gl->glClearColor(0, 0, 0, 0);
    gl->glClear(GL_COLOR_BUFFER_BIT);
    gl->glEnable(GL_BLEND);
    // Destination alpha grows by the source alpha (the constant is 1), so the framebuffer
    // holds premultiplied colour that Qt Quick composes over what lies behind the chart.
    // With the default constant of 0 the alpha would stay 0 and the chart would vanish on a
    // light background.
    gl->glBlendColor(0.0f, 0.0f, 0.0f, 1.0f);
    gl->glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_CONSTANT_ALPHA, GL_ONE);
    gl->glBlendEquation(GL_FUNC_ADD);
    m_frames.draw(gl);
    // Qt Quick expects its own GL state back after a framebuffer item has drawn.
    if (m_window)
        m_window->resetOpenGLState();
}
