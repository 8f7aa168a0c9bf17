#pragma once
// Base of every plotter: turns a vector of doubles into OpenGL draw calls inside a chart item.
// CPU-side vertex arrays are built on the GUI thread (setData, under the chart's data mutex and
// the plotter's buffer mutex); synchronize uploads them on the render thread while the GUI
// thread is blocked; render draws from GPU buffers only. The chart item does not own plotters.
#include "chartelle/chartelle_export.h"
#include "chartelle/plotterdefs.h"

#include <QColor>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QVector>

class IChartArea;
class QOpenGLBuffer;
class QOpenGLShaderProgram;

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

    virtual void synchronize();
    virtual void render(const QRectF &view);
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
    quint32 dirtyFlags() const { return m_dirtyFlags; }

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
    virtual void _update_uniforms(QOpenGLShaderProgram &program, const SRenderLayerDefinition &layer);
    virtual SAttributePointer _fetch_attribute_data(const int &attributeIndex) const;
    virtual void _fetch_render_layers(QVector<SRenderLayerDefinition> &layers, const QRectF &view);

    void requestChartUpdate();
    // Stores the rectangle and emits; used by subclasses that derive parts of it from data.
    void storePlotterArea(const QRectF &r);
    static bool sameData(const QVector<double> &a, const QVector<double> &b);
    // Leaves the chart item; concrete plotters call it first thing in their destructor, so
    // the render thread never draws a half-destroyed plotter.
    void detachFromChart();

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
    QVector<SAttributeDefinition> m_attributes;
    QVector<QOpenGLBuffer *> m_buffers;
    QVector<SRenderLayerDefinition> m_layers;

private:
    void initialize();
};
