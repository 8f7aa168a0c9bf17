#pragma once
// A node of the data path between a data source and the plotters: it holds a vector of
// doubles spread over a rectangle of chart coordinates, transforms what it receives in
// _filter_func and, when the result changed, pushes it to its child filters and then to its
// plotters. Measurement plugins derive from it and are built against this header, so the
// order of the virtual operations below is part of the binary interface: append, never
// reorder.
//
// Ownership: a node does not own its children or plotters (QObject parents do); owners remove
// a node from its parent before destroying it. Threads: a chain is used from the thread that
// calls setData, in practice the GUI thread; nothing here touches OpenGL.
#include "chartelle/chartelle_export.h"

#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QVector>

class IPlotter1D;

class CHARTELLE_EXPORT Filter1D : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVector<double> data READ data WRITE setData NOTIFY dataChanged)
    Q_PROPERTY(QRectF area READ area WRITE setArea NOTIFY areaChanged)
    Q_PROPERTY(QString dataID READ dataID WRITE setDataID NOTIFY dataIDChanged)

public:
    explicit Filter1D(QObject *parent = nullptr);
    ~Filter1D() override;

    // The output of the node: what children and plotters receive.
    virtual const QVector<double> &data() const;
    virtual void setData(const QVector<double> &data);
    virtual const QRectF &area() const;
    virtual void setArea(const QRectF &area);
    virtual const QString &dataID() const;
    virtual void setDataID(const QString &dataID);
    // Largest value of the bins inside rect, never below 0.0.
    virtual double max_in(const QRectF &rect);
    // Only meaningful where index_at(x) is not -1.
    virtual double value_at(double x) const;
    // The bin under x, or -1 outside the area or with no data.
    virtual int index_at(double x) const;
    // The bar of the bin under point.x, or a null rectangle.
    virtual const QRectF area_at(const QPointF &point) const;

    Q_INVOKABLE void addFilter(Filter1D *filter);
    Q_INVOKABLE void removeFilter(Filter1D *filter);
    Q_INVOKABLE void addPlotter(IPlotter1D *plotter);
    Q_INVOKABLE void removePlotter(IPlotter1D *plotter);
    Q_INVOKABLE const QVector<IPlotter1D *> &plotters() const;

signals:
    void dataChanged();
    void areaChanged();
    // Declared for subclasses that follow a chart item; never emitted by Filter1D itself.
    void chartAreaChanged();
    void dataIDChanged();

protected:
    // Computes the node's data from input; returns whether the data changed.
    virtual bool _filter_func(const QVector<double> &input);
    // First bin (included) and last bin (excluded) of the data covering rect.
    virtual int __start_index(const QRectF &rect);
    virtual int __end_index(const QRectF &rect);

    // Pushes data() to every child filter, then to every plotter, then emits dataChanged.
    void _request_data_update();
    // The parent's output when this node hangs below another, else this node's own data.
    const QVector<double> &originalData() const;
    // Number of (width, value) pairs held by the node's own data.
    int size2D() const;

    QRectF m_area;
    QString m_dataID;
    QVector<double> m_data;
    QVector<Filter1D *> m_filters;
    QVector<IPlotter1D *> m_plotters;
    const Filter1D *m_parentFilter = nullptr;

private:
    void setParentFilter(const Filter1D *parent);

    // Clears m_parentFilter when the parent is destroyed before this node.
    QMetaObject::Connection m_parentWatch;
};
