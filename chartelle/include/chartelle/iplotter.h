#pragma once
// Base of every plotter: turns a vector of doubles into OpenGL draw calls inside a chart item.
// The chart item does not own plotters.
//
// Threads. A plotter lives on the GUI thread: its properties are set there and its CPU-side
// vertex arrays are built there (setData, under the chart's data mutex and the plotter's
// buffer mutex, both released before any signal is emitted). Each chart that shows the
// plotter calls synchronize on the render thread while the GUI thread is blocked; there the
// plotter copies everything it draws with (visibility, area, offsets, colours, ranges, draw
// calls, vertex arrays) into that chart's PlotterFrame, and the render thread draws from the
// frame alone. So a plotter may be shown by several charts of one window at once (a chart and
// its navigator), and may be destroyed at any time on the GUI thread.
//
// setData and setPlotterArea called from another thread are not applied there: the value is
// copied and applied on the plotter's own thread by its event loop, in call order (dropped if
// the plotter is destroyed first). Other setters belong to the plotter's thread only.
#include "chartelle/chartelle_export.h"
#include "chartelle/plotterdefs.h"

#include <QColor>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QVector>

class IChartArea;
class PlotterFrame;

class CHARTELLE_EXPORT IPlotter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(bool visible READ visible WRITE setVisible NOTIFY visibleChanged)
    Q_PROPERTY(double zOrder READ zOrder WRITE setZOrder NOTIFY zOrderChanged)
    Q_PROPERTY(QVector<double> data READ data WRITE setData NOTIFY dataChanged)
    Q_PROPERTY(uchar vectorDim READ vectorDim WRITE setVectorDim NOTIFY vectorDimChanged)
    Q_PROPERTY(QRectF plotterArea READ plotterArea WRITE setPlotterArea NOTIFY plotterAreaChanged)
    Q_PROPERTY(QRectF modArea READ modArea NOTIFY modAreaChanged)
    Q_PROPERTY(uint drawLayer READ drawLayer WRITE setDrawLayer NOTIFY drawLayerChanged)
    Q_PROPERTY(bool showLegend READ showLegend WRITE setShowLegend NOTIFY showLegendChanged)
    Q_PROPERTY(IChartArea *chartArea READ chartArea WRITE setChartArea NOTIFY chartAreaChanged)
    Q_PROPERTY(double xOffset READ xOffset WRITE setXOffset NOTIFY xOffsetChanged)

public:
    explicit IPlotter(QObject *parent = nullptr);
    ~IPlotter() override;

    // Copies what this plotter draws, for a chart showing view, into that chart's frame.
    // Render thread, GUI thread blocked; the first call builds the arrays (initialisation).
    virtual void synchronize(PlotterFrame &frame, const QRectF &view);
    virtual double max_in(const QRectF &r);
    virtual double aux_in(const QRectF &r);
    virtual QRectF area_at(const QPointF &p) const;
    virtual void setPlotterArea(const QRectF &r);
    virtual SInfoPoint mouse_hovering(const QPointF &p) const;
    virtual const QVector<double> &data() const;
    virtual void setData(const QVector<double> &v);

    QString name() const { return m_name; }
    void setName(const QString &name);
    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    bool visible() const { return m_visible; }
    void setVisible(bool visible);
    double zOrder() const { return m_zOrder; }
    void setZOrder(double z);
    uchar vectorDim() const { return m_vectorDim; }
    void setVectorDim(uchar dim);
    QRectF plotterArea() const { return m_plotterArea; }
    QRectF modArea() const;
    uint drawLayer() const { return m_drawLayer; }
    void setDrawLayer(uint layer);
    bool showLegend() const { return m_showLegend; }
    void setShowLegend(bool show);
    IChartArea *chartArea() const;
    void setChartArea(IChartArea *area);
    double xOffset() const { return m_xOffset; }
    void setXOffset(double offset);

    bool isInitialized() const { return m_initialized; }
    // Arrays changed since a chart last uploaded them (bits of SAttributeDefinition::dirtyFlag).
    quint32 dirtyFlags() const { return m_dirtyFlags; }
    // Identity for render-side state; unlike the address it is never reused.
    quint64 uid() const { return m_uid; }
    // Builds the arrays on first use; charts call it in synchronisation before they adapt
    // their areas, which follow the arrays.
    void prepare();

    // Rebuilds the CPU-side arrays from the current data, as setData does once GPU buffers
    // exist. Needs no OpenGL context: tests and benchmarks call it directly.
    void rebuildArrays();

signals:
    void colorChanged();
    void visibleChanged();
    void zOrderChanged();
    void plotterAreaChanged();
    void initChanged();
    void chartAreaChanged();
    void drawLayerChanged();
    void showLegendChanged();
    void nameChanged();
    void dataChanged();
    void vectorDimChanged();
    void xOffsetChanged();
    void modAreaChanged();

protected:
    virtual QVector<SAttributeDefinition> declareArributeArray();
    virtual void _report_missing_attributes();
    virtual bool __update_vertex();
    virtual bool __update_index();
    virtual void _custom_hook();
    // Works out the uniform values of one draw call for a chart showing view (synchronisation).
    virtual void _update_uniforms(SUniformValues &uniforms, const SRenderLayerDefinition &layer,
                                  const QRectF &view);
    virtual SAttributePointer _fetch_attribute_data(const int &attributeIndex) const;
    virtual void _fetch_render_layers(QVector<SRenderLayerDefinition> &layers, const QRectF &view);

    void requestChartUpdate();
    // Stores the rectangle without announcing it: subclasses derive parts of it from data
    // while arrays are rebuilt under the mutexes; announceArea emits once they are released.
    void storePlotterArea(const QRectF &r);
    void announceArea(const QRectF &before);
    static bool sameData(const QVector<double> &a, const QVector<double> &b);
    // Records that the arrays of the attributes with these dirty bits were rebuilt, so every
    // chart showing the plotter uploads them at its next synchronisation.
    void markArraysChanged(quint32 flags);
    // Rebuilds vertices and indices; the caller holds the buffer mutex.
    void rebuildLocked();
    // True when called from another thread than the plotter's; the call is then queued to
    // the plotter's thread (see the thread rules at the top).
    bool queuedToOwnThread(const QVector<double> &data);
    bool queuedToOwnThread(const QRectF &area);

    QString m_name;
    QColor m_color{7, 203, 242, 255};
    bool m_visible = true;
    double m_zOrder = 0.0;
    double m_xOffset = 0.0;
    QVector<double> m_data;
    uchar m_vectorDim = 1;
    QRectF m_plotterArea;
    uint m_drawLayer = 1;
    bool m_showLegend = true;
    QPointer<IChartArea> m_chartArea;
    mutable QMutex m_bufferMutex;
    bool m_initialized = false;
    quint32 m_dirtyFlags = 0;
    QString m_programName;
    bool m_subtractOffset = true;
    // Drawn even where plotterArea misses the view (decorations with no area of their own).
    bool m_drawOutsideArea = false;
    QVector<SAttributeDefinition> m_attributes;
    QVector<SRenderLayerDefinition> m_layers;

private:
    void initialize();

    quint64 m_uid;
    quint64 m_generation = 0;
    // Generation of the arrays of each attribute, compared with what a frame holds.
    QVector<quint64> m_attributeGeneration;
};
