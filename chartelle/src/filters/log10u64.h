#pragma once
// Takes the decimal logarithm of every count it receives, for bars on a logarithmic y axis:
// an empty bin (or anything not above 0) stays at 0, so it draws no bar instead of an
// infinitely deep one. Data sources that keep no log copy of their counts hang this node
// below their container. GUI thread, like every node.
#include "chartelle/filter1d.h"

class Log10U64 : public Filter1D
{
    Q_OBJECT

public:
    explicit Log10U64(QObject *parent = nullptr);

protected:
    bool _filter_func(const QVector<double> &input) override;
};
