#pragma once
// Plain descriptions through which a plotter tells the shared drawing code what to upload
// (one SAttributeDefinition per GPU buffer), what to draw (one SRenderLayerDefinition per
// draw call) and with which uniform values (SUniformValues). A plotter fills them in the
// chart's synchronisation, while the GUI thread is blocked; the render thread reads only the
// copies the chart keeps of them.
#include "chartelle/chartelle_export.h"

#include <QByteArray>
#include <QRectF>
#include <QString>
#include <QVector>

class QColor;
class QMatrix4x4;
class QMutex;
class IPlotter;

struct CHARTELLE_EXPORT SAttributeDefinition
{
    QString name;
    int dirtyFlag = 0;
    int usagePattern = 0x88E8;  // GL_DYNAMIC_DRAW
    int bufferType = 0x8892;    // GL_ARRAY_BUFFER
    int dataType = 0x1406;      // GL_FLOAT
    int offset = 0;
    int tupleSize = 1;
    int stride = 0;
    QMutex *mutex = nullptr;
};

struct CHARTELLE_EXPORT SAttributePointer
{
    const void *pointer = nullptr;
    int size = 0;
};

struct CHARTELLE_EXPORT SRenderLayerDefinition
{
    int order = 0;
    int first = 0;
    int count = 0;
    float lineWidth = -1.0f;
    float pointSize = -1.0f;
    QString program;
    unsigned int mode = 0;
    QVector<int> attributes;
    int indexAttribute = -1;
};

struct CHARTELLE_EXPORT SInfoPoint
{
    bool valid = false;
    int index = -1;
    double x = 0.0;
    double y = 0.0;
    QRectF rect;
    IPlotter *plotter = nullptr;
    QString label;
    QString text;
};

// One uniform of a draw call: a float, a vec4 (colours, as red, green, blue, alpha in 0..1)
// or a column-major mat4.
struct CHARTELLE_EXPORT SUniformValue
{
    enum Kind { Float, Vec4, Mat4 };
    QByteArray name;
    Kind kind = Float;
    float values[16] = {};
};

// The uniform values of one draw call, worked out in synchronisation and set on the program
// when the frame is drawn. Setting a name again replaces its value.
class CHARTELLE_EXPORT SUniformValues
{
public:
    void set(const char *name, float value);
    void set(const char *name, const QColor &color);
    void set(const char *name, const QMatrix4x4 &matrix);
    const QVector<SUniformValue> &values() const { return m_values; }
    // The value of that name, or null when it was never set.
    const SUniformValue *find(const char *name) const;

private:
    SUniformValue &slot(const char *name, SUniformValue::Kind kind);
    QVector<SUniformValue> m_values;
};

// Mode flags of SRenderLayerDefinition::mode; the low bits carry the GL primitive.
namespace chartelle {
constexpr unsigned int DrawArrays = 0x1000;
constexpr unsigned int DrawElements = 0x2000;
constexpr unsigned int VertexDirty = 0x1000;
constexpr unsigned int IndexDirty = 0x4000;

// Relative comparison used by every setter of doubles and rectangles.
CHARTELLE_EXPORT bool fuzzyEqual(double a, double b);
CHARTELLE_EXPORT bool fuzzyEqual(const QRectF &a, const QRectF &b);
}  // namespace chartelle
