#pragma once
// The chart item: an OpenGL framebuffer item on which any number of plotters draw. It owns no
// data; it knows the chart coordinates its plotters cover (chartRect), sorts plotters into
// three draw layers and throttles repaints.
//
// Threads. The item and its plotters live on the GUI thread: properties, the plotter list and
// repaint requests (a request from another thread is posted to the item's thread). The
// renderer calls synchronizePlotters on the render thread while the GUI thread is blocked;
// there the item adapts its area, builds its layers and has every drawn plotter copy itself
// into the renderer's frames. Drawing reads those frames only, never the item or a plotter,
// so plotters may be added, changed or destroyed on the GUI thread while a frame is drawn.
//
// A chart may also draw the plotters of another chart (sourceChart, as a navigator does)
// beside its own; it repaints whenever that chart does.
#include "chartelle/chartelle_export.h"
#include "chartelle/iplotter.h"

#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QPointer>
#include <QQuickFramebufferObject>
#include <QRectF>
#include <QTimer>
#include <QVector>

class PlotterFrames;

class CHARTELLE_EXPORT IChartArea : public QQuickFramebufferObject
{
    Q_OBJECT
    Q_PROPERTY(QRectF chartRect READ chartRect WRITE setChartRect NOTIFY chartRectChanged)
    Q_PROPERTY(bool adaptAreaToPlotters READ adaptAreaToPlotters WRITE setAdaptAreaToPlotters NOTIFY adaptAreaToPlottersChanged)
    Q_PROPERTY(QList<IPlotter *> plotter READ plotter WRITE setPlotter NOTIFY plotterChanged)
    Q_PROPERTY(bool shouldUpdate READ shouldUpdate WRITE setShouldUpdate NOTIFY shouldUpdateChanged)
    Q_PROPERTY(unsigned int updateIntervalMs READ updateIntervalMs WRITE setUpdateIntervalMs)
    Q_PROPERTY(IChartArea *sourceChart READ sourceChart WRITE setSourceChart NOTIFY sourceChartChanged)

public:
    explicit IChartArea(QQuickItem *parent = nullptr);
    ~IChartArea() override;

    Renderer *createRenderer() const override;
    virtual void requestUpdate();
    virtual QRectF viewRect() const;
    Q_INVOKABLE virtual QPointF mapPointToChart(QPointF point);
    // Render thread, GUI thread blocked: adapts the area, rebuilds the layers and has each
    // drawn plotter copy itself into frames, in drawing order.
    virtual void synchronizePlotters(PlotterFrames &frames);
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
    IChartArea *sourceChart() const;
    void setSourceChart(IChartArea *source);

    // Plotters drawn: the own list, then those of sourceChart that are not in it.
    QList<IPlotter *> drawnPlotters() const;
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
    void sourceChartChanged();

private slots:
    // Plotters shown without being attached (a navigator shows another chart's plotters)
    // leave the lists when they are destroyed.
    void forgetPlotter(QObject *plotter);

protected:
    // Maps with the given rectangle; shared by IChartArea and ChartArea.
    QPointF mapWith(const QRectF &r, QPointF point) const;
    // requestUpdate from another thread is posted to the item's own thread.
    bool postedToOwnThread();

    bool m_adaptAreaToPlotters = true;
    QRectF m_chartRect{0, 0, 1, 1};
    QList<IPlotter *> m_plotters;
    QVector<QVector<IPlotter *>> m_layers;
    QMutex m_dataMutex;
    // Guards the plotter and layer lists; held only to copy or change them, never while
    // calling out.
    mutable QMutex m_listMutex;
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

private:
    QPointer<IChartArea> m_source;
    // Charts that draw this chart's plotters and repaint with it.
    QList<QPointer<IChartArea>> m_followers;
    bool m_notifyingFollowers = false;
};
