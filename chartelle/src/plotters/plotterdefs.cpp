#include "chartelle/plotterdefs.h"

#include <algorithm>
#include <cmath>

namespace chartelle {

bool fuzzyEqual(double a, double b)
{
    if (a == b)
        return true;
    const double scale = std::max(std::fabs(a), std::fabs(b));
    return std::fabs(a - b) <= 1e-12 * scale;
}

bool fuzzyEqual(const QRectF &a, const QRectF &b)
{
    return fuzzyEqual(a.x(), b.x()) && fuzzyEqual(a.y(), b.y()) && fuzzyEqual(a.width(), b.width()) &&
           fuzzyEqual(a.height(), b.height());
}

}  // namespace chartelle
