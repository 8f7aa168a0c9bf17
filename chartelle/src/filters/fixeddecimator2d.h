#pragma once
// Reduces (width, value) pairs to numPoint equal buckets over the area, each the maximum of
// the pairs it touches. The output is numPoint (width, value) pairs, the layout every "2D"
// consumer reads. GUI thread.
#include "chartelle/filter1d.h"

class FixedDecimator2D : public Filter1D
{
    Q_OBJECT
    Q_PROPERTY(int numPoint READ numPoint WRITE setNumPoint NOTIFY numPointChanged)

public:
    explicit FixedDecimator2D(QObject *parent = nullptr);

    int numPoint() const { return m_numPoint; }
    void setNumPoint(int numPoint);

signals:
    void numPointChanged();

protected:
    bool _filter_func(const QVector<double> &input) override;

private:
    int m_numPoint = 1000;
};
