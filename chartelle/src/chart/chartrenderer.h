#pragma once
// Draws a chart item into its framebuffer on the Qt Quick render thread. In synchronize (GUI
// thread blocked) the item fills the renderer's plotter frames; render draws those frames and
// reads nothing of the item or its plotters.
#include "chart/plotterframe.h"

#include <QQuickFramebufferObject>

class QQuickWindow;

class ChartRenderer : public QQuickFramebufferObject::Renderer
{
public:
    QOpenGLFramebufferObject *createFramebufferObject(const QSize &size) override;
    void synchronize(QQuickFramebufferObject *item) override;
    void render() override;

private:
    PlotterFrames m_frames;
    QQuickWindow *m_window = nullptr;
};
