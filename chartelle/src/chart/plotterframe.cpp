#include "chart/plotterframe.h"

#include "chart/programtable.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QtDebug>

#include <algorithm>

PlotterFrame::PlotterFrame() = default;

PlotterFrame::~PlotterFrame()
{
    // Without a current context the share group frees the buffers when it goes.
    const bool current = QOpenGLContext::currentContext() != nullptr;
    for (const auto &b : qAsConst(m_attributes)) {
        if (b->gpu && current)
            b->gpu->destroy();
    }
}

void PlotterFrame::declare(const QVector<SAttributeDefinition> &attributes)
{
    bool same = attributes.size() == m_attributes.size();
    for (int i = 0; same && i < attributes.size(); ++i) {
        const SAttributeDefinition &a = attributes[i];
        const SAttributeDefinition &b = m_attributes[i]->definition;
        same = a.name == b.name && a.bufferType == b.bufferType && a.usagePattern == b.usagePattern &&
               a.dataType == b.dataType && a.offset == b.offset && a.tupleSize == b.tupleSize &&
               a.stride == b.stride && a.dirtyFlag == b.dirtyFlag;
    }
    if (same)
        return;
    const bool current = QOpenGLContext::currentContext() != nullptr;
    for (const auto &b : qAsConst(m_attributes)) {
        if (b->gpu && current)
            b->gpu->destroy();
    }
    m_attributes.clear();
    for (const SAttributeDefinition &def : attributes) {
        auto b = std::make_shared<Buffer>();
        b->definition = def;
        b->definition.mutex = nullptr;  // the frame never locks the plotter
        b->name = def.name.toLatin1();
        m_attributes.append(std::move(b));
    }
}

quint64 PlotterFrame::uploadedGeneration(int i) const
{
    return i >= 0 && i < m_attributes.size() ? m_attributes[i]->generation : 0;
}

void PlotterFrame::upload(int i, quint64 generation, const void *data, int size)
{
    if (i < 0 || i >= m_attributes.size())
        return;
    // Without a context (arithmetic tests) there is nothing to upload into.
    if (!QOpenGLContext::currentContext())
        return;
    Buffer &b = *m_attributes[i];
    if (!b.gpu) {
        b.gpu = std::make_unique<QOpenGLBuffer>(QOpenGLBuffer::Type(b.definition.bufferType));
        if (!b.gpu->create()) {
            qWarning() << "Cannot create the OpenGL buffer" << b.definition.name;
            b.gpu.reset();
            return;
        }
        b.gpu->setUsagePattern(QOpenGLBuffer::UsagePattern(b.definition.usagePattern));
    }
    b.gpu->bind();
    b.gpu->allocate(data, size);
    b.gpu->release();
    b.generation = generation;
}

bool PlotterFrame::bindAttribute(QOpenGLShaderProgram &program, int a) const
{
    if (a < 0 || a >= m_attributes.size() || !m_attributes[a]->gpu)
        return false;
    const Buffer &b = *m_attributes[a];
    b.gpu->bind();
    program.enableAttributeArray(b.name.constData());
    program.setAttributeBuffer(b.name.constData(), GLenum(b.definition.dataType), b.definition.offset,
                               b.definition.tupleSize, b.definition.stride);
    return true;
}

namespace {
void applyUniforms(QOpenGLShaderProgram &program, const SUniformValues &uniforms)
{
    for (const SUniformValue &u : uniforms.values()) {
        const int location = program.uniformLocation(u.name.constData());
        if (location < 0)
            continue;
        switch (u.kind) {
        case SUniformValue::Float:
            program.setUniformValue(location, u.values[0]);
            break;
        case SUniformValue::Vec4:
            program.setUniformValue(location, u.values[0], u.values[1], u.values[2], u.values[3]);
            break;
        case SUniformValue::Mat4:
            program.setUniformValue(location, QMatrix4x4(u.values).transposed());
            break;
        }
    }
}
}  // namespace

void PlotterFrame::draw(QOpenGLFunctions *gl) const
{
    if (m_layers.isEmpty())
        return;
    if (m_blend == Blend::Highlight)
        gl->glBlendFunc(GL_SRC_ALPHA, GL_DST_ALPHA);
    for (const Layer &layer : m_layers) {
        if (layer.count < 1 || layer.mode == 0)
            continue;
        QOpenGLShaderProgram *program = chartelle::programFor(layer.program);
        if (!program)
            continue;
        const bool indexed = layer.indexAttribute >= 0 && layer.indexAttribute < m_attributes.size() &&
                             m_attributes[layer.indexAttribute]->gpu;
        if ((layer.mode & chartelle::DrawElements) && !indexed)
            continue;
        program->bind();
        applyUniforms(*program, layer.uniforms);
        QVector<int> bound;
        for (int a : layer.attributes) {
            if (bindAttribute(*program, a))
                bound.append(a);
        }
        if (indexed)
            m_attributes[layer.indexAttribute]->gpu->bind();
        if (layer.lineWidth > 0)
            gl->glLineWidth(layer.lineWidth);
        if (layer.mode & chartelle::DrawArrays) {
            gl->glDrawArrays(GLenum(layer.mode ^ chartelle::DrawArrays), layer.first, layer.count);
        } else if (layer.mode & chartelle::DrawElements) {
            gl->glDrawElements(GLenum(layer.mode ^ chartelle::DrawElements), layer.count,
                               GLenum(m_attributes[layer.indexAttribute]->definition.dataType),
                               reinterpret_cast<const void *>(quintptr(layer.first)));
        }
        if (indexed)
            m_attributes[layer.indexAttribute]->gpu->release();
        for (int a : qAsConst(bound)) {
            program->disableAttributeArray(m_attributes[a]->name.constData());
            m_attributes[a]->gpu->release();
        }
        program->release();
    }
    if (m_blend == Blend::Highlight)
        gl->glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_CONSTANT_ALPHA, GL_ONE);
    const GLenum error = gl->glGetError();
    if (error != 0)
        qWarning() << "WE GOT AN OPENGL ERROR CODE: " << error;
}

PlotterFrames::PlotterFrames() = default;
PlotterFrames::~PlotterFrames() = default;

void PlotterFrames::begin()
{
    m_drawOrder.clear();
    m_touched.clear();
    for (auto &entry : m_frames)
        entry.second->synced = false;
}

PlotterFrame &PlotterFrames::frame(quint64 plotterId)
{
    if (!m_touched.contains(plotterId))
        m_touched.append(plotterId);
    for (auto &entry : m_frames) {
        if (entry.first == plotterId)
            return *entry.second;
    }
    m_frames.emplace_back(plotterId, std::make_unique<PlotterFrame>());
    return *m_frames.back().second;
}

void PlotterFrames::end()
{
    m_frames.erase(std::remove_if(m_frames.begin(), m_frames.end(),
                                  [this](const auto &entry) { return !m_touched.contains(entry.first); }),
                   m_frames.end());
}

void PlotterFrames::draw(QOpenGLFunctions *gl) const
{
    for (const PlotterFrame *f : m_drawOrder)
        f->draw(gl);
}
