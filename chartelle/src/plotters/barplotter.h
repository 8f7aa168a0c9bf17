#pragma once
// Plain equal-width bars with a program of its own: per vertex a height ("point") and a bin
// edge number ("vertexID"); the shader places bin edges from the view uniforms.
#include "chartelle/iplotter1d.h"

#include <QPair>

class BarPlotter : public IPlotter1D
{
    Q_OBJECT
public:
    explicit BarPlotter(QObject *parent = nullptr);

    // Stores the data even without a chart item, and without the chart's data mutex.
    void setData(const QVector<double> &v) override;
    void setPlotterArea(const QRectF &r) override;

    const QVector<float> &points() const { return m_points; }
    const QVector<float> &vertexIds() const { return m_vertexIds; }
    const QVector<quint32> &indices() const { return m_indices; }
    // Visible bin range [first, end) for a view.
    QPair<int, int> visibleRange(const QRectF &view) const;

protected:
    QVector<SAttributeDefinition> declareArributeArray() override;
    bool __update_vertex() override;
    bool __update_index() override;
    SAttributePointer _fetch_attribute_data(const int &attributeIndex) const override;
    void _fetch_render_layers(QVector<SRenderLayerDefinition> &layers, const QRectF &view) override;
    void _update_uniforms(SUniformValues &uniforms, const SRenderLayerDefinition &layer,
                          const QRectF &view) override;

private:
    QVector<float> m_points;
    QVector<float> m_vertexIds;
    QVector<quint32> m_indices;
};
