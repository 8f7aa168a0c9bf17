#pragma once
// The chart item used by views: IChartArea plus a zoom rectangle (the visible part of
// chartRect), automatic height adaptation to the visible data, and image export.
#include "chartelle/ichartarea.h"

#include <QSharedPointer>

class QQuickItemGrabResult;

class CHARTELLE_EXPORT ChartArea : public IChartArea
{
    Q_OBJECT
    Q_PROPERTY(QRectF zoomRect READ zoomRect WRITE setZoomRect NOTIFY zoomRectChanged)
    Q_PROPERTY(bool adaptChartHeight READ adaptChartHeight WRITE setAdaptChartHeight NOTIFY adaptChartHeightChanged)

public:
    explicit ChartArea(QQuickItem *parent = nullptr);
    ~ChartArea() override;

    QRectF viewRect() const override;
    Q_INVOKABLE QPointF mapPointToChart(QPointF point) override;
    void renderPlotters() override;
    void adaptArea() override;

    Q_INVOKABLE void resetZoomView();
    Q_INVOKABLE void exportImage(QString path);

    QRectF zoomRect() const;
    void setZoomRect(const QRectF &r);
    bool adaptChartHeight() const { return m_adaptChartHeight; }
    void setAdaptChartHeight(bool adapt);

signals:
    void zoomRectChanged();
    void adaptChartHeightChanged();
    // Reports the end of exportImage: ok is false when the image could not be grabbed or
    // written, with a reason in error.
    void exportFinished(const QString &path, bool ok, const QString &error);

private:
    void onGrabReady(const QString &path);

    QRectF m_zoomRect{0, 0, 1, 1};
    QSharedPointer<QQuickItemGrabResult> m_grab;
    bool m_adaptChartHeight = true;
};
