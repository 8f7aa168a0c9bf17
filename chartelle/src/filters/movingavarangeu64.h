#pragma once
// Smooths its input with a moving mean over `depth` samples, ends clamped. GUI thread.
#include "chartelle/filter1d.h"

class MovingAvarangeU64 : public Filter1D
{
    Q_OBJECT
    Q_PROPERTY(int depth READ depth WRITE setDepth NOTIFY depthChanged)

public:
    explicit MovingAvarangeU64(QObject *parent = nullptr);

    int depth() const { return m_depth; }
    // Takes effect at the next setData.
    void setDepth(int depth);

signals:
    void depthChanged();

protected:
    bool _filter_func(const QVector<double> &input) override;

private:
    int m_depth = 16;
};
