#pragma once
// What one chart draws of one plotter: GPU buffers holding the plotter's arrays and the draw
// calls with their uniform values, worked out for that chart's view. The plotter fills it in
// IPlotter::synchronize while the GUI thread is blocked; afterwards the render thread reads
// nothing but the frame, so the plotter may change or be destroyed on the GUI thread while
// its last frame is drawn. Owned by the chart's renderer (PlotterFrames) on the render thread;
// GPU objects are made and freed there with the chart's context current.
#include "chartelle/plotterdefs.h"

#include <QOpenGLBuffer>
#include <QVector>

#include <memory>

class QOpenGLFunctions;

class PlotterFrame
{
public:
    // How the draw calls blend into the framebuffer: the chart's default, or source alpha
    // over destination alpha for highlights that brighten what lies below.
    enum class Blend { Chart, Highlight };

    struct Layer
    {
        int first = 0;
        int count = 0;
        float lineWidth = -1.0f;
        unsigned int mode = 0;
        QString program;
        QVector<int> attributes;
        int indexAttribute = -1;
        SUniformValues uniforms;
    };

    PlotterFrame();
    ~PlotterFrame();
    PlotterFrame(const PlotterFrame &) = delete;
    PlotterFrame &operator=(const PlotterFrame &) = delete;

    // Declares the buffers; a different declaration replaces the buffers.
    void declare(const QVector<SAttributeDefinition> &attributes);
    int attributeCount() const { return m_attributes.size(); }
    // The generation of the arrays held by buffer i; 0 before the first upload.
    quint64 uploadedGeneration(int i) const;
    // Copies size bytes into buffer i (needs the chart's context current).
    void upload(int i, quint64 generation, const void *data, int size);

    void setLayers(QVector<Layer> layers) { m_layers = std::move(layers); }
    void clearLayers() { m_layers.clear(); }
    const QVector<Layer> &layers() const { return m_layers; }
    void setBlend(Blend blend) { m_blend = blend; }

    // Issues the draw calls (render thread, context current).
    void draw(QOpenGLFunctions *gl) const;

    // Set while the chart synchronises, so a plotter in several layers is copied once.
    bool synced = false;

private:
    struct Buffer
    {
        SAttributeDefinition definition;
        QByteArray name;
        std::unique_ptr<QOpenGLBuffer> gpu;
        quint64 generation = 0;
    };
    bool bindAttribute(class QOpenGLShaderProgram &program, int a) const;

    QVector<std::shared_ptr<Buffer>> m_attributes;
    QVector<Layer> m_layers;
    Blend m_blend = Blend::Chart;
};

// The frames of one chart, keyed by plotter identity (never by address: a new plotter may
// be made where a destroyed one lived), and the order in which they are drawn.
class PlotterFrames
{
public:
    PlotterFrames();
    ~PlotterFrames();

    // Starts a synchronisation: nothing is drawn until frames are appended again.
    void begin();
    // The frame of that plotter, made on first use.
    PlotterFrame &frame(quint64 plotterId);
    void appendDraw(PlotterFrame &frame) { m_drawOrder.append(&frame); }
    // Ends a synchronisation: frames of plotters no longer shown are freed.
    void end();

    void draw(QOpenGLFunctions *gl) const;
    int frameCount() const { return int(m_frames.size()); }

private:
    std::vector<std::pair<quint64, std::unique_ptr<PlotterFrame>>> m_frames;
    QVector<quint64> m_touched;
    QVector<PlotterFrame *> m_drawOrder;
};
