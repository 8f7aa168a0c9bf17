#include "chartelle/plotterdefs.h"

#include <QColor>
#include <QMatrix4x4>

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

SUniformValue &SUniformValues::slot(const char *name, SUniformValue::Kind kind)
{
    for (SUniformValue &v : m_values) {
        if (v.name == name) {
            v.kind = kind;
            return v;
        }
    }
    SUniformValue v;
    v.name = name;
    v.kind = kind;
    m_values.append(v);
    return m_values.last();
}

void SUniformValues::set(const char *name, float value)
{
    slot(name, SUniformValue::Float).values[0] = value;
}

void SUniformValues::set(const char *name, const QColor &color)
{
    SUniformValue &v = slot(name, SUniformValue::Vec4);
    v.values[0] = float(color.redF());
    v.values[1] = float(color.greenF());
    v.values[2] = float(color.blueF());
    v.values[3] = float(color.alphaF());
}

void SUniformValues::set(const char *name, const QMatrix4x4 &matrix)
{
    SUniformValue &v = slot(name, SUniformValue::Mat4);
    const float *m = matrix.constData();
    std::copy(m, m + 16, v.values);
}

const SUniformValue *SUniformValues::find(const char *name) const
{
    for (const SUniformValue &v : m_values) {
        if (v.name == name)
            return &v;
    }
    return nullptr;
}
