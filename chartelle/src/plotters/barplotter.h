#pragma once
// Plain equal-width bars with a program of its own: per vertex a height ("point") and a bin
// edge number ("vertexID"); the shader places bin edges from the view uniforms.
#include "chartelle/iplotter1d.h"

class BarPlotter : public IPlotter1D
{
    Q_OBJECT
public:
    explicit BarPlotter(QObject *parent = nullptr);
    ~BarPlotter() override;

    void synchronize() override;
    void render(const QRectF &view) override;
    void setData(const QVector<double> &v) override;
    void setPlotterArea(const QRectF &r) override;

    const QVector<float> &points() const { return m_points; }
    const QVector<float> &vertexIds() const { return m_vertexIds; }
    const QVector<quint32> &indices() const { return m_indices; }
    // Visible bin range [first, end) for a view.
    QPair<int, int> visibleRange(const QRectF &view) const;

protected:
    bool __update_vertex() override;
    bool __update_index() override;

private:
    QVector<float> m_points;
    QVector<float> m_vertexIds;
    QVector<quint32> m_indices;
    QOpenGLBuffer *m_pointBuffer = nullptr;
    QOpenGLBuffer *m_idBuffer = nullptr;
    QOpenGLBuffer *m_indexBuffer = nullptr;
    quint32 m_dirty = 0;
    bool m_glReady = false;
    int m_bins = 0;
};
