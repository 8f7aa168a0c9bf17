#pragma once
// The chart item: an OpenGL framebuffer item on which any number of plotters draw. It owns no
// data; it knows the chart coordinates its plotters cover (chartRect), sorts plotters into
// three draw layers and throttles repaints. GUI thread: properties, plotter list, repaint
// requests. Render thread: ChartRenderer calls synchronizePlotters and renderPlotters.
#include "chartelle/chartelle_export.h"
#include "chartelle/iplotter.h"

#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QRecursiveMutex>
#include <QQuickFramebufferObject>
#include <QRectF>
#include <QTimer>
#include <QVector>

class CHARTELLE_EXPORT IChartArea : public QQuickFramebufferObject
{
    Q_OBJECT
    Q_PROPERTY(QRectF chartRect READ chartRect WRITE setChartRect NOTIFY chartRectChanged)
    Q_PROPERTY(bool adaptAreaToPlotters READ adaptAreaToPlotters WRITE setAdaptAreaToPlotters NOTIFY adaptAreaToPlottersChanged)
    Q_PROPERTY(QList<IPlotter *> plotter READ plotter WRITE setPlotter NOTIFY plotterChanged)
    Q_PROPERTY(bool shouldUpdate READ shouldUpdate WRITE setShouldUpdate NOTIFY shouldUpdateChanged)
    Q_PROPERTY(unsigned int updateIntervalMs READ updateIntervalMs WRITE setUpdateIntervalMs)

public:
    explicit IChartArea(QQuickItem *parent = nullptr);
    ~IChartArea() override;

    Renderer *createRenderer() const override;
    virtual void requestUpdate();
    virtual QRectF viewRect() const;
    Q_INVOKABLE virtual QPointF mapPointToChart(QPointF point);
    virtual void synchronizePlotters();
    virtual void renderPlotters();
    virtual void adaptArea();
    virtual void rebuildLayers();

    Q_INVOKABLE void addPlotter(IPlotter *plotter);
    Q_INVOKABLE void removePlotter(IPlotter *plotter);
    Q_INVOKABLE void lock_update();
    Q_INVOKABLE void unlock_update();

    QRectF chartRect() const;
    void setChartRect(const QRectF &r);
    bool adaptAreaToPlotters() const { return m_adaptAreaToPlotters; }
    void setAdaptAreaToPlotters(bool adapt);
    QList<IPlotter *> plotter() const;
    void setPlotter(const QList<IPlotter *> &plotters);
    bool shouldUpdate() const { return m_shouldUpdate; }
    void setShouldUpdate(bool should);
    unsigned int updateIntervalMs() const { return m_updateIntervalMs; }
    void setUpdateIntervalMs(unsigned int ms);

    QMutex &dataMutex() { return m_dataMutex; }
    // Plotters of draw layer i (0, 1 or 2) as of the last rebuildLayers, in drawing order.
    QVector<IPlotter *> layer(int i) const;
    // Number of repaints actually scheduled with QQuickItem::update(); for tests and tools.
    quint64 updateCount() const { return m_updateCount; }

signals:
    void chartRectChanged();
    void plotterChanged();
    void shouldUpdateChanged();
    void adaptAreaToPlottersChanged();

private slots:
    // Plotters shown without being attached (a navigator shows another chart's plotters)
    // leave the lists when they are destroyed.
    void forgetPlotter(QObject *plotter);

protected:
    // Maps with the given rectangle; shared by IChartArea and ChartArea.
    QPointF mapWith(const QRectF &r, QPointF point) const;
    // Draws the layers with the given view; called on the render thread.
    void drawLayers(const QRectF &view);
    // requestUpdate from another thread is posted to the item's own thread.
    bool postedToOwnThread();

    bool m_adaptAreaToPlotters = true;
    QRectF m_chartRect{0, 0, 1, 1};
    QList<IPlotter *> m_plotters;
    QVector<QVector<IPlotter *>> m_layers;
    QMutex m_dataMutex;
    // Guards the plotter list between the GUI thread and the render thread, which holds it
    // while it uploads and draws.
    mutable QRecursiveMutex m_listMutex;
    // The view captured at synchronisation for the frame the render thread draws.
    QRectF m_renderView;
    bool m_locked = false;
    // Set while requestUpdate adapts the area: a nested request is covered by the update
    // that follows.
    bool m_inRequest = false;
    bool m_shouldUpdate = true;
    QElapsedTimer m_throttle;
    unsigned int m_updateIntervalMs = 25;
    // A request dropped by the throttle is honoured when the interval ends, so the newest
    // data are always drawn.
    QTimer m_deferred;
    quint64 m_updateCount = 0;
};
