#pragma once
// Hover decorator: hit-tests a list of plotters under the pointer, lists what is hovered for
// QML (infoMap), raises the hovered plotter to the front and draws a fading highlight
// rectangle. Driven from QML mouse handling on the GUI thread; draws on the render thread.
#include "chartelle/iplotter.h"

#include <QElapsedTimer>
#include <QList>
#include <QTimer>
#include <QVariantList>

class BarDecorator : public IPlotter
{
    Q_OBJECT
    Q_PROPERTY(double mouseX READ mouseX WRITE setMouseX)
    Q_PROPERTY(double mouseY READ mouseY WRITE setMouseY)
    Q_PROPERTY(bool active READ active WRITE setActive NOTIFY activeChanged)
    Q_PROPERTY(QList<IPlotter *> plotters READ plotters WRITE setPlotters NOTIFY plottersChanged)
    Q_PROPERTY(QVariantList infoMap READ infoMap NOTIFY infoMapChanged)

public:
    explicit BarDecorator(QObject *parent = nullptr);
    ~BarDecorator() override;

    void synchronize() override;
    void render(const QRectF &view) override;

    Q_INVOKABLE void addPlotter(IPlotter *newPlotter);
    Q_INVOKABLE void removePlotter(IPlotter *newPlotter);
    Q_INVOKABLE void removeAllPlotter();

    double mouseX() const { return m_mouseX; }
    void setMouseX(double x);
    double mouseY() const { return m_mouseY; }
    void setMouseY(double y);
    bool active() const { return m_active; }
    void setActive(bool active);
    QList<IPlotter *> plotters() const { return m_plotters; }
    void setPlotters(const QList<IPlotter *> &plotters);
    QVariantList infoMap() const { return m_infoMap; }

    // The rectangle currently highlighted (null when nothing is).
    QRectF highlight() const { return m_current; }

signals:
    void activeChanged();
    void infoMapChanged();
    void plottersChanged();

private:
    struct Highlight
    {
        QRectF rect;
        float time = 0.0f;  // in fade units; alpha = time - now
    };
    void hoverUpdate();
    void startHighlight(const QRectF &rect);
    float nowUnits() const;
    void animate();

    double m_mouseX = 0.0;
    double m_mouseY = 0.0;
    bool m_active = false;
    QList<IPlotter *> m_plotters;
    QVariantList m_infoMap;
    QList<Highlight> m_highlights;
    QRectF m_current;
    int m_maxRects = 10;
    float m_fadeMs = 100.0f;
    QTimer m_animation;
    QVector<float> m_vertices;  // x, y, time per vertex, four vertices per highlight
    QOpenGLBuffer *m_buffer = nullptr;
    bool m_dirty = false;
};
