#pragma once
// Bars of individual widths from (width, height) pairs. Each x is carried as two floats (the
// float nearest the double and the float of the remainder) and the shader subtracts the view
// origin in the same split form, so bars stay exact at picosecond resolution over seconds.
#include "chartelle/iplotter1d.h"

#include <QVector>

class CHARTELLE_EXPORT BarPlotterDx : public IPlotter1D
{
    Q_OBJECT
public:
    explicit BarPlotterDx(QObject *parent = nullptr);

    double max_in(const QRectF &r) override;
    QRectF area_at(const QPointF &p) const override;
    void setPlotterArea(const QRectF &r) override;
    SInfoPoint mouse_hovering(const QPointF &p) const override;

    int _index_at(double x) const override;
    int __start_index(const QRectF &r) const override;
    int __end_index(const QRectF &r) const override;

    // CPU-side arrays and the visible range, for tests and tools.
    const QVector<float> &vertices() const { return m_vertices; }
    const QVector<quint32> &indices() const { return m_indices; }
    int drawFirst() const { return m_drawFirst; }
    int drawEnd() const { return m_drawEnd; }
    void updateVisibleRange(const QRectF &view);
    int barCount() const { return m_data.size() / 2; }

protected:
    QVector<SAttributeDefinition> declareArributeArray() override;
    bool __update_vertex() override;
    bool __update_index() override;
    void _update_uniforms(SUniformValues &uniforms, const SRenderLayerDefinition &layer,
                          const QRectF &view) override;
    SAttributePointer _fetch_attribute_data(const int &attributeIndex) const override;
    void _fetch_render_layers(QVector<SRenderLayerDefinition> &layers, const QRectF &view) override;

private:
    QRectF barRect(int k) const;

    QVector<float> m_vertices;
    QVector<quint32> m_indices;
    int m_drawFirst = 0;
    int m_drawEnd = 0;
};
