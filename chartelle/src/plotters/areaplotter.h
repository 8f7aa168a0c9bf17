#pragma once
// A filled area under equal-width bins with an optional border line and an optional vertical
// colour gradient. Vertex x is the bin number; the matrix spreads bins over plotterArea.
#include "chartelle/iplotter1d.h"

class AreaPlotter : public IPlotter1D
{
    Q_OBJECT
    Q_PROPERTY(double borderWidth READ borderWidth WRITE setBorderWidth NOTIFY borderWidthChanged)
    Q_PROPERTY(QColor borderColor READ borderColor WRITE setBorderColor NOTIFY borderColorChanged)
    Q_PROPERTY(bool borderEnable READ borderEnable WRITE setBorderEnable NOTIFY borderEnableChanged)
    Q_PROPERTY(bool enableGradient READ enableGradient WRITE setEnableGradient NOTIFY enableGradientChanged)
    Q_PROPERTY(QColor gradientColor READ gradientColor WRITE setGradientColor NOTIFY gradientColorChanged)

public:
    explicit AreaPlotter(QObject *parent = nullptr);

    void setPlotterArea(const QRectF &r) override;

    double borderWidth() const { return m_borderWidth; }
    void setBorderWidth(double width);
    QColor borderColor() const { return m_borderColor; }
    void setBorderColor(const QColor &color);
    bool borderEnable() const { return m_borderEnable; }
    void setBorderEnable(bool enable);
    bool enableGradient() const { return m_enableGradient; }
    void setEnableGradient(bool enable);
    QColor gradientColor() const { return m_gradientColor; }
    void setGradientColor(const QColor &color);

    // CPU-side arrays (two floats per vertex), for tests and benchmarks.
    const QVector<float> &fillVertices() const { return m_fill; }
    const QVector<float> &borderVertices() const { return m_border; }
    // Draw ranges of the two layers for a view; no OpenGL involved.
    QVector<SRenderLayerDefinition> layersFor(const QRectF &view);

signals:
    void borderWidthChanged();
    void borderColorChanged();
    void borderEnableChanged();
    void enableGradientChanged();
    void gradientColorChanged();

protected:
    QVector<SAttributeDefinition> declareArributeArray() override;
    bool __update_vertex() override;
    void _update_uniforms(SUniformValues &uniforms, const SRenderLayerDefinition &layer,
                          const QRectF &view) override;
    SAttributePointer _fetch_attribute_data(const int &attributeIndex) const override;
    void _fetch_render_layers(QVector<SRenderLayerDefinition> &layers, const QRectF &view) override;

private:
    double m_borderWidth = 3.0;
    QColor m_borderColor{7, 203, 242, 255};
    bool m_borderEnable = true;
    bool m_enableGradient = false;
    QColor m_gradientColor{7, 203, 242, 255};
    QVector<float> m_fill;
    QVector<float> m_border;
};
