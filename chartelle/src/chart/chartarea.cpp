#include "chartelle/chartarea.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QMutexLocker>
#include <QQuickItemGrabResult>
#include <QTimer>
#include <QUrl>
#include <QtDebug>

#include <algorithm>

namespace {
// Frees a grab result only once Qt is done with it: it frees its texture when destroyed, so
// one dropped before its ready signal has returned would pull the texture from under the
// render thread.
void releaseGrab(const QSharedPointer<QQuickItemGrabResult> &grab, bool ready)
{
    if (!grab)
        return;
    if (ready) {
        QTimer::singleShot(0, [grab]() {});
        return;
    }
    auto *holder = new QObject;
    QObject::connect(grab.data(), &QQuickItemGrabResult::ready, holder, [holder, grab]() { holder->deleteLater(); });
}
}  // namespace

ChartArea::ChartArea(QQuickItem *parent) : IChartArea(parent) {}

ChartArea::~ChartArea()
{
    for (const PendingExport &pending : qAsConst(m_exports))
        releaseGrab(pending.grab, false);
}

QRectF ChartArea::viewRect() const
{
    return m_zoomRect;
}

QPointF ChartArea::mapPointToChart(QPointF point)
{
    return mapWith(m_zoomRect, point);
}

void ChartArea::adaptArea()
{
    IChartArea::adaptArea();
    QRectF v = m_zoomRect.intersected(m_chartRect);
    if (v.isNull())
        v = m_chartRect;
    if (m_adaptChartHeight) {
        double m = 1.0;
        for (IPlotter *p : drawnPlotters()) {
            if (p->visible())
                m = std::max(m, p->max_in(m_zoomRect));
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
    const int id = ++m_nextExport;
    PendingExport &pending = m_exports[id];
    pending.path = path;
    pending.file = path.startsWith(QLatin1String("file:")) ? QUrl(path).toLocalFile() : path;
    if (pending.file.isEmpty()) {
        finishExport(id, false, tr("No file name given."), true);
        return;
    }
    const QSize size(qMax(1, int(width() * 2)), qMax(1, int(height() * 2)));
    pending.grab = grabToImage(size);
    if (!pending.grab) {
        qWarning().noquote() << "Cannot grab the chart for" << path;
        finishExport(id, false, tr("The chart cannot be grabbed (it is not shown)."), true);
        return;
    }
    connect(pending.grab.data(), &QQuickItemGrabResult::ready, this, [this, id]() { onGrabReady(id); });
    // A window that stops rendering never delivers the grab; the export still ends.
    QTimer::singleShot(m_exportTimeoutMs, this, [this, id]() {
        finishExport(id, false, tr("The chart was not drawn in time for the export."), false);
    });
}

void ChartArea::onGrabReady(int id)
{
    auto it = m_exports.find(id);
    if (it == m_exports.end())
        return;
    const QImage image = it->grab ? it->grab->image() : QImage();
    const QString file = it->file;
    if (image.isNull()) {
        finishExport(id, false, tr("The chart cannot be grabbed."), true);
        return;
    }
    // The format follows the extension; an unknown or missing one is written as PNG.
    QByteArray format = QFileInfo(file).suffix().toLower().toLatin1();
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format))
        format = "png";
    QImageWriter writer(file, format);
    if (!writer.write(image)) {
        const QString error = writer.errorString();
        qWarning().noquote() << "Cannot write the chart image" << file << ":" << error;
        finishExport(id, false, error, true);
        return;
    }
    finishExport(id, true, QString(), true);
}

void ChartArea::finishExport(int id, bool ok, const QString &error, bool grabReady)
{
    auto it = m_exports.find(id);
    if (it == m_exports.end())
        return;  // already reported
    const QString path = it->path;
    if (it->grab)
        disconnect(it->grab.data(), nullptr, this, nullptr);
    releaseGrab(it->grab, grabReady);
    m_exports.erase(it);
    emit exportFinished(path, ok, error);
}
