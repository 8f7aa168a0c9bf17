#include "filters/decimatoru64.h"

#include "chartelle/chartarea.h"
#include "chartelle/ichartarea.h"

#include <cmath>

DecimatorU64::DecimatorU64(QObject *parent)
    : Filter1D(parent)
{
}

DecimatorU64::~DecimatorU64() = default;

const QVector<double> &DecimatorU64::data() const
{
    return levels.at(qBound(0, currentLevel, levels.size() - 1));
}

IChartArea *DecimatorU64::chartArea() const
{
    return m_chartGuard ? m_chartArea : nullptr;
}

void DecimatorU64::setChartArea(IChartArea *area)
{
    if (area == chartArea())
        return;
    disconnect(m_widthConnection);
    disconnect(m_zoomConnection);
    disconnect(m_destroyedConnection);
    m_chartArea = area;
    m_chartGuard = area;
    if (area) {
        m_widthConnection = connect(area, &QQuickItem::widthChanged, this, &DecimatorU64::selectLevel);
        if (auto *zoomable = qobject_cast<ChartArea *>(area))
            m_zoomConnection = connect(zoomable, &ChartArea::zoomRectChanged, this, &DecimatorU64::selectLevel);
        m_destroyedConnection = connect(area, &QObject::destroyed, this, [this] {
            m_chartArea = nullptr;
            emit chartAreaChanged();
        });
    }
    emit chartAreaChanged();
    // A chart attached after the data would otherwise show level 0 until its next zoom.
    selectLevel();
}

void DecimatorU64::setArea(const QRectF &area)
{
    const QRectF before = Filter1D::area();
    Filter1D::setArea(area);
    // The bin width in chart units changed, and with it the level that fits a pixel.
    if (before != Filter1D::area())
        selectLevel();
}

bool DecimatorU64::_filter_func(const QVector<double> &input)
{
    if (chartelle::datapath::sameValues(input, levels.first()))
        return false;
    buildLevels(input);
    // setData pushes right after this returns, so only the choice is made here.
    currentLevel = wantedLevel();
    return true;
}

int DecimatorU64::wantedLevel() const
{
    const int last = levels.size() - 1;
    const int current = qBound(0, currentLevel, last);
    IChartArea *chart = chartArea();
    if (!chart || !(chart->width() >= 1.0) || levels.first().isEmpty())
        return current;
    const double unitsPerPixel = chart->viewRect().width() / chart->width();
    const double areaWidth = Filter1D::area().width();
    if (areaWidth == 0.0)
        return 0;
    const double unitsPerBin = areaWidth / levels.first().size();
    if (unitsPerBin > unitsPerPixel)
        return 0;
    const double ratio = unitsPerPixel / unitsPerBin;
    // log2 is exact at powers of two, where ln(a)/ln(2) can land just above an integer.
    const double steps = factor == 2.0 ? std::log2(ratio) : std::log(ratio) / std::log(factor);
    if (!std::isfinite(steps) || steps < 0.0)
        return 0;
    const double level = std::ceil(steps);
    return level >= last ? last : static_cast<int>(level);
}

void DecimatorU64::selectLevel()
{
    const int level = wantedLevel();
    if (level == currentLevel)
        return;
    currentLevel = level;
    _request_data_update();
}
