#pragma once
// Plotter base for data of equal-width bins spread over modArea: index arithmetic, the
// maximum inside a range and hit tests. Pure arithmetic, no OpenGL.
#include "chartelle/iplotter.h"

class CHARTELLE_EXPORT IPlotter1D : public IPlotter
{
    Q_OBJECT
public:
    explicit IPlotter1D(QObject *parent = nullptr);

    double max_in(const QRectF &r) override;
    SInfoPoint mouse_hovering(const QPointF &p) const override;

    virtual int _index_at(double x) const;
    virtual int __start_index(const QRectF &r) const;
    virtual int __end_index(const QRectF &r) const;
};
