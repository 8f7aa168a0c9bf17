#pragma once
// Plain descriptions through which a plotter tells the shared drawing code what to upload
// (one SAttributeDefinition per GPU buffer) and what to draw (one SRenderLayerDefinition per
// draw call). Built on the GUI thread, read on the render thread.
#include "chartelle/chartelle_export.h"

#include <QRectF>
#include <QString>
#include <QVector>

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
