#pragma once
// Draws a chart item into its framebuffer on the Qt Quick render thread. Holds a non-owning
// pointer to the item, set at the first synchronize (while the GUI thread is blocked).
#include <QQuickFramebufferObject>

class IChartArea;
class QQuickWindow;

class ChartRenderer : public QQuickFramebufferObject::Renderer
{
public:
    QOpenGLFramebufferObject *createFramebufferObject(const QSize &size) override;
    void synchronize(QQuickFramebufferObject *item) override;
    void render() override;

private:
    IChartArea *m_item = nullptr;
    QQuickWindow *m_window = nullptr;
};
