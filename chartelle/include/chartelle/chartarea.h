#pragma once
// The chart item used by views: IChartArea plus a zoom rectangle (the visible part of
// chartRect), automatic height adaptation to the visible data, and image export.
#include "chartelle/ichartarea.h"

#include <QHash>
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
    void adaptArea() override;

    Q_INVOKABLE void resetZoomView();
    // Writes the chart, at twice its size, to path (a file name or a file URL); the format
    // follows the extension (PNG when there is none or it is unknown). Every call ends in
    // exactly one exportFinished with the path as given, also when exports overlap, the
    // grab fails or never comes (after exportTimeoutMs); exports still pending when the
    // chart is destroyed are dropped silently.
    Q_INVOKABLE void exportImage(QString path);

    QRectF zoomRect() const;
    void setZoomRect(const QRectF &r);
    bool adaptChartHeight() const { return m_adaptChartHeight; }
    void setAdaptChartHeight(bool adapt);
    int exportTimeoutMs() const { return m_exportTimeoutMs; }
    void setExportTimeoutMs(int ms) { m_exportTimeoutMs = ms; }
    int pendingExports() const { return m_exports.size(); }

signals:
    void zoomRectChanged();
    void adaptChartHeightChanged();
    // Reports the end of exportImage: ok is false when the image could not be grabbed or
    // written, with a reason in error.
    void exportFinished(const QString &path, bool ok, const QString &error);

private:
    struct PendingExport
    {
        QString path;  // as given
        QString file;  // where it is written
        QSharedPointer<QQuickItemGrabResult> grab;
    };
    void onGrabReady(int id);
    // Reports once; grabReady tells whether Qt is done with the grab result.
    void finishExport(int id, bool ok, const QString &error, bool grabReady);

    QRectF m_zoomRect{0, 0, 1, 1};
    QHash<int, PendingExport> m_exports;
    int m_nextExport = 0;
    int m_exportTimeoutMs = 10000;
    bool m_adaptChartHeight = true;
};
