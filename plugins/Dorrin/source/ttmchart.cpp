#include "ttmchart.h"

#include <QDebug>
#include <QStringList>
#include <QThreadPool>

#include "chartelle/filter1d.h"
#include "ttmworker.h"

namespace {
constexpr int logValues = 8;

QString head(const QVector<double> &data)
{
    QStringList shown;
    for (int i = 0; i < std::min(data.size(), logValues); ++i)
        shown << QString::number(data[i]);
    if (data.size() > logValues)
        shown << QStringLiteral("... %1 values").arg(data.size());
    return QStringLiteral("QVector(") + shown.join(QStringLiteral(", ")) + QLatin1Char(')');
}
} // namespace

TTMChart::TTMChart(std::shared_ptr<TTMWorker> worker, QObject *parent, int refreshMs)
    : QObject(parent), m_worker(std::move(worker)), m_data(new Filter1D(this))
{
    m_data->setData(QVector<double>{1.0, 0.0});
    m_timer.setInterval(refreshMs);
    connect(&m_timer, &QTimer::timeout, this, &TTMChart::refresh);
}

TTMChart::~TTMChart()
{
    m_timer.stop();
    std::unique_lock<std::mutex> lock(m_flightMutex);
    m_flightDone.wait(lock, [this] { return m_inFlight == 0; });
}

int TTMChart::pendingRefreshes() const
{
    std::lock_guard<std::mutex> lock(m_flightMutex);
    return m_inFlight;
}

void TTMChart::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (enabled) {
        // A recording owns the capture: the preview starts once it has ended.
        if (!m_worker->saving())
            activate();
    } else {
        m_timer.stop();
        m_worker->setPreview(false);
    }
    emit enabledChanged();
}

void TTMChart::activate()
{
    m_worker->clearHistogram();
    ++m_generation;
    m_data->setData(QVector<double>{m_data->area().width(), 0.0});
    m_timer.start();
    m_worker->setPreview(true);
}

void TTMChart::refresh()
{
    // One refresh at a time: a slow one is not overtaken by piling up more.
    {
        std::lock_guard<std::mutex> lock(m_flightMutex);
        if (m_inFlight > 0)
            return;
        ++m_inFlight;
    }
    const quint64 generation = m_generation;
    std::shared_ptr<TTMWorker> worker = m_worker;
    QThreadPool::globalInstance()->start([this, worker, generation] {
        qDebug().noquote() << "Updating TTM splot data...";
        QVector<double> data = worker->compute_draw_vector();
        qDebug().noquote() << head(data);
        // The chart data belongs to the GUI thread: the result travels there to be set.
        // A chart destroyed before the call is delivered discards it.
        QMetaObject::invokeMethod(
            this, [this, generation, data = std::move(data)] { applyRefresh(generation, data); },
            Qt::QueuedConnection);
        std::lock_guard<std::mutex> lock(m_flightMutex);
        --m_inFlight;
        m_flightDone.notify_all();
    });
}

void TTMChart::applyRefresh(quint64 generation, const QVector<double> &data)
{
    if (generation != m_generation)
        return;
    m_data->setData(data);
    qDebug().noquote() << "TTM splot data updating completed!";
    emit refreshed();
}

void TTMChart::setMeasCH(int ch_index, int ch_edge)
{
    if (ch_index == m_measCH && ch_edge == m_measEdge)
        return;
    qDebug().noquote() << "Setting TTM chart MeasCH to index" << ch_index << "with" << ch_edge << "edge.";
    m_measCH = ch_index;
    m_measEdge = ch_edge;
    m_worker->setMeasure(unsigned(ch_index), std::uint8_t(ch_edge));
    emit measCHChanged();
    emit measEdgeChanged();
}

void TTMChart::setRefCH(int ch_index, int ch_edge)
{
    if (ch_index == m_refCH && ch_edge == m_refEdge)
        return;
    qDebug().noquote() << "Setting TTM chart RefCH to index" << ch_index << "with" << ch_edge << "edge.";
    m_refCH = ch_index;
    m_refEdge = ch_edge;
    m_worker->setReference(unsigned(ch_index), std::uint8_t(ch_edge));
    emit refCHChanged();
    emit refEdgeChanged();
}
