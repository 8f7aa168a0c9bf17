#pragma once
// Decimates a histogram of many bins to what the chart can show: it keeps a max pyramid of
// the data and delivers the level whose bins are just narrower than one pixel of the chart
// item it follows, so no peak is ever hidden and zooming only switches levels. The area is
// not changed: a plotter spreads the delivered level over the same area.
// Threads: GUI thread. The chart item's zoom changes may be signalled from the render
// thread; they reach this object queued, on its own thread.
#include "chartelle/filter1d.h"
#include "filters/decimatorfilter.h"

#include <QMetaObject>
#include <QPointer>

class IChartArea;

class DecimatorU64 : public Filter1D, public chartelle::datapath::DecimatorFilter<double>
{
    Q_OBJECT
    Q_PROPERTY(IChartArea *chartArea READ chartArea WRITE setChartArea NOTIFY chartAreaChanged)

public:
    explicit DecimatorU64(QObject *parent = nullptr);
    ~DecimatorU64() override;

    const QVector<double> &data() const override;

    IChartArea *chartArea() const;
    void setChartArea(IChartArea *area);
    void setArea(const QRectF &area) override;

    int currentLevelIndex() const { return currentLevel; }

public slots:
    // Chooses the level for the chart's current zoom and width; pushes it when it changed.
    void selectLevel();

protected:
    bool _filter_func(const QVector<double> &input) override;

private:
    // The level that suits the chart now, or the current one when there is no chart.
    int wantedLevel() const;

    IChartArea *m_chartArea = nullptr;
    QPointer<QObject> m_chartGuard;
    QMetaObject::Connection m_widthConnection;
    QMetaObject::Connection m_zoomConnection;
    QMetaObject::Connection m_destroyedConnection;
};
