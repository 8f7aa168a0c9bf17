#include "chartelle/chartarea.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QMutexLocker>
#include <QQuickItemGrabResult>
#include <QUrl>
#include <QtDebug>

#include <algorithm>

ChartArea::ChartArea(QQuickItem *parent) : IChartArea(parent) {}

ChartArea::~ChartArea() = default;

QRectF ChartArea::viewRect() const
{
    return m_zoomRect;
}

QPointF ChartArea::mapPointToChart(QPointF point)
{
    return mapWith(m_zoomRect, point);
}

void ChartArea::renderPlotters()
{
    drawLayers(m_renderView);
}

void ChartArea::adaptArea()
{
    IChartArea::adaptArea();
    QRectF v = m_zoomRect.intersected(m_chartRect);
    if (v.isNull())
        v = m_chartRect;
    if (m_adaptChartHeight) {
        double m = 1.0;
        {
            QMutexLocker lock(&m_listMutex);
            for (IPlotter *p : qAsConst(m_plotters)) {
                if (p->visible())
                    m = std::max(m, p->max_in(m_zoomRect));
            }
        }
        v.setHeight(m * 1.05);
    } else {
        v.setHeight(m_chartRect.height());
        v = v.intersected(m_chartRect);
    }
    if (!chartelle::fuzzyEqual(v, m_zoomRect)) {
        m_zoomRect = v;
        emit zoomRectChanged();
        requestUpdate();
    }
}

void ChartArea::resetZoomView()
{
    if (chartelle::fuzzyEqual(m_zoomRect, m_chartRect))
        return;
    m_zoomRect = m_chartRect;
    emit zoomRectChanged();
    requestUpdate();
}

QRectF ChartArea::zoomRect() const
{
    return m_zoomRect;
}

void ChartArea::setZoomRect(const QRectF &r)
{
    if (chartelle::fuzzyEqual(r, m_zoomRect))
        return;
    m_zoomRect = r;
    emit zoomRectChanged();
    requestUpdate();
}

void ChartArea::setAdaptChartHeight(bool adapt)
{
    if (adapt == m_adaptChartHeight)
        return;
    m_adaptChartHeight = adapt;
    emit adaptChartHeightChanged();
}

void ChartArea::exportImage(QString path)
{
    if (path.startsWith(QLatin1String("file://")))
        path = QUrl(path).toLocalFile();
    if (path.isEmpty()) {
        emit exportFinished(path, false, tr("No file name given."));
        return;
    }
    const QSize size(qMax(1, int(width() * 2)), qMax(1, int(height() * 2)));
    m_grab = grabToImage(size);
    if (!m_grab) {
        qWarning().noquote() << "Cannot grab the chart for" << path;
        emit exportFinished(path, false, tr("The chart cannot be grabbed (it is not shown)."));
        return;
    }
    connect(m_grab.data(), &QQuickItemGrabResult::ready, this, [this, path]() { onGrabReady(path); });
}

void ChartArea::onGrabReady(const QString &path)
{
    const QImage image = m_grab ? m_grab->image() : QImage();
    m_grab.reset();
    if (image.isNull()) {
        emit exportFinished(path, false, tr("The chart cannot be grabbed."));
        return;
    }
    // The format follows the extension; an unknown or missing one is written as PNG.
    QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format))
        format = "png";
    QImageWriter writer(path, format);
    if (!writer.write(image)) {
        const QString error = writer.errorString();
        qWarning().noquote() << "Cannot write the chart image" << path << ":" << error;
        emit exportFinished(path, false, error);
        return;
    }
    emit exportFinished(path, true, QString());
}
