#pragma once
// Reduces its input to exactly numPoint values, each the maximum of its group of input
// bins, whatever the zoom: for overviews such as a navigator bar. GUI thread.
#include "chartelle/filter1d.h"

class FixedDecimatorU64 : public Filter1D
{
    Q_OBJECT
    Q_PROPERTY(int numPoint READ numPoint WRITE setNumPoint NOTIFY numPointChanged)

public:
    explicit FixedDecimatorU64(QObject *parent = nullptr);

    int numPoint() const { return m_numPoint; }
    void setNumPoint(int numPoint);

signals:
    void numPointChanged();

protected:
    bool _filter_func(const QVector<double> &input) override;

private:
    int m_numPoint = 256;
};
