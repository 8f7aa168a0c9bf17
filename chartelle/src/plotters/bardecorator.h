#pragma once
// Hover decorator: hit-tests a list of plotters under the pointer, lists what is hovered for
// QML (infoMap), raises the hovered plotter to the front and draws a fading highlight
// rectangle. Driven from QML mouse handling on the GUI thread. The plotters are referenced
// weakly: one destroyed while listed leaves the list (plottersChanged) and is never touched.
#include "chartelle/iplotter.h"

#include <QList>
#include <QPointer>
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

    void synchronize(PlotterFrame &frame, const QRectF &view) override;

    Q_INVOKABLE void addPlotter(IPlotter *newPlotter);
    Q_INVOKABLE void removePlotter(IPlotter *newPlotter);
    Q_INVOKABLE void removeAllPlotter();

    double mouseX() const { return m_mouseX; }
    void setMouseX(double x);
    double mouseY() const { return m_mouseY; }
    void setMouseY(double y);
    bool active() const { return m_active; }
    void setActive(bool active);
    QList<IPlotter *> plotters() const;
    void setPlotters(const QList<IPlotter *> &plotters);
    QVariantList infoMap() const { return m_infoMap; }

    // The rectangle currently highlighted (null when nothing is).
    QRectF highlight() const { return m_current; }

signals:
    void activeChanged();
    void infoMapChanged();
    void plottersChanged();

protected:
    QVector<SAttributeDefinition> declareArributeArray() override;
    SAttributePointer _fetch_attribute_data(const int &attributeIndex) const override;
    void _fetch_render_layers(QVector<SRenderLayerDefinition> &layers, const QRectF &view) override;
    void _update_uniforms(SUniformValues &uniforms, const SRenderLayerDefinition &layer,
                          const QRectF &view) override;

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
    void watch(IPlotter *plotter);
    void forget(QObject *plotter);
    // Highlight corners mapped for a view: x in clip space, y from the view's top.
    void mapVertices(const QRectF &view);

    double m_mouseX = 0.0;
    double m_mouseY = 0.0;
    bool m_active = false;
    QList<QPointer<IPlotter>> m_plotters;
    QVariantList m_infoMap;
    QList<Highlight> m_highlights;
    QRectF m_current;
    int m_maxRects = 10;
    float m_fadeMs = 100.0f;
    QTimer m_animation;
    QVector<float> m_points;  // x, y per vertex, four vertices per highlight
    QVector<float> m_times;   // one per vertex
};
