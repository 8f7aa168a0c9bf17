#pragma once
// The preview chart's model: which reference and measure channels are paired, whether the
// preview runs, and the chart data (a Filter1D of (width, count) pairs) refreshed once a
// second from the worker's histogram.
//
// Threads: GUI thread. The draw vector is computed on a pool thread and handed back to the
// GUI thread, which alone sets the chart data. Ownership: the wrapper is the parent; the
// worker is shared with the wrapper and with a refresh still running.

#include <QObject>
#include <QTimer>
#include <QVector>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "chartelle/filter1d.h"

class TTMWorker;

class TTMChart : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(int refCH READ refCH NOTIFY refCHChanged)
    Q_PROPERTY(int refEdge READ refEdge NOTIFY refEdgeChanged)
    Q_PROPERTY(int measCH READ measCH NOTIFY measCHChanged)
    Q_PROPERTY(int measEdge READ measEdge NOTIFY measEdgeChanged)
    Q_PROPERTY(Filter1D *data READ data CONSTANT)

public:
    TTMChart(std::shared_ptr<TTMWorker> worker, QObject *parent = nullptr, int refreshMs = 1000);
    ~TTMChart() override;

    bool enabled() const { return m_enabled; }
    int refCH() const { return m_refCH; }
    int refEdge() const { return m_refEdge; }
    int measCH() const { return m_measCH; }
    int measEdge() const { return m_measEdge; }
    Filter1D *data() const { return m_data; }

    Q_INVOKABLE void setMeasCH(int ch_index, int ch_edge);
    Q_INVOKABLE void setRefCH(int ch_index, int ch_edge);

    // Starts the preview for real: called when it is enabled, or when a recording that held
    // it back has ended while it is still wanted.
    void activate();
    bool active() const { return m_timer.isActive(); }
    // Computes and shows the histogram now instead of at the next tick.
    void refresh();
    // Refreshes running on the pool; for tests that must wait for them.
    int pendingRefreshes() const;

public slots:
    void setEnabled(bool enabled);

signals:
    void enabledChanged();
    void refCHChanged();
    void refEdgeChanged();
    void measCHChanged();
    void measEdgeChanged();
    // The chart data has been replaced by a refresh.
    void refreshed();

private:
    void applyRefresh(quint64 generation, const QVector<double> &data);

    std::shared_ptr<TTMWorker> m_worker;
    Filter1D *m_data;
    QTimer m_timer;
    bool m_enabled = false;
    int m_refCH = 0;
    int m_refEdge = 2;
    int m_measCH = 0;
    int m_measEdge = 2;
    // Bumped whenever the histogram is cleared: a refresh computed before that is stale.
    quint64 m_generation = 0;
    // Refreshes on the pool; the destructor waits for them, since they post to this object.
    mutable std::mutex m_flightMutex;
    std::condition_variable m_flightDone;
    int m_inFlight = 0;
};
