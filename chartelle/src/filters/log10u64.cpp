#include "filters/log10u64.h"

#include "filters/filtermath.h"

#include <cmath>

Log10U64::Log10U64(QObject *parent)
    : Filter1D(parent)
{
}

bool Log10U64::_filter_func(const QVector<double> &input)
{
    QVector<double> out(input.size());
    const double *in = input.constData();
    double *o = out.data();
    for (int i = 0; i < input.size(); ++i)
        o[i] = in[i] > 0.0 ? std::log10(in[i]) : 0.0;
    if (chartelle::datapath::sameValues(out, m_data))
        return false;
    m_data = out;
    return true;
}
