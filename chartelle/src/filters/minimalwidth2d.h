#pragma once
// Merges (width, value) pairs narrower than mergeWidth into pairs of that width holding the
// maximum of what they merged, so bars of very different widths stay visible at any zoom.
// A hysteresis band on mergeWidth keeps small zoom changes from re-merging. GUI thread.
#include "chartelle/filter1d.h"

#include <vector>

class MinimalWidth2D : public Filter1D
{
    Q_OBJECT
    Q_PROPERTY(double mergeWidth READ mergeWidth WRITE setMergeWidth NOTIFY mergeWidthChanged)
    Q_PROPERTY(double percMargin READ percMargin WRITE setPercMargin NOTIFY percMarginChanged)

public:
    explicit MinimalWidth2D(QObject *parent = nullptr);

    double mergeWidth() const { return m_mergeWidth; }
    void setMergeWidth(double mergeWidth);
    double percMargin() const { return m_percMargin; }
    void setPercMargin(double percMargin);

signals:
    void mergeWidthChanged();
    void percMarginChanged();

protected:
    bool _filter_func(const QVector<double> &input) override;

private:
    double m_mergeWidth = 1.0;
    double m_percMargin = 0.2;
    std::vector<double> m_scratch;
};

namespace chartelle::datapath {
// Writes the merged pairs of in[0..2*pairs-1] to out (room for 2*pairs values) and returns
// the number of doubles written.
int mergeNarrowPairs(const double *in, int pairs, double mergeWidth, double *out);
} // namespace chartelle::datapath
