#pragma once
// Process-wide table of named shader programs. Definitions are registered once at type
// registration; compiled programs are kept per OpenGL share group, because a program object
// is only valid in the contexts that share it (each chart window may have its own context).
// Registration runs on the GUI thread, compilation on render threads; a mutex guards both.
#include <QOpenGLShader>
#include <QPair>
#include <QString>
#include <QVector>

class QOpenGLShaderProgram;

class SProgramShaderDefinition
{
public:
    virtual QString name() const = 0;
    virtual void shaderSources(QVector<QPair<QOpenGLShader::ShaderType, QString>> &sources) const;
    virtual ~SProgramShaderDefinition();
    virtual QString vertexSource() const = 0;
    virtual QString fragmentSource() const = 0;
};

namespace chartelle {
// Takes ownership; the first definition of a name wins and later ones are deleted.
// Returns false when a definition of that name was already there.
bool registerProgramDefinition(SProgramShaderDefinition *definition);
// The registered definition of that name, or null.
const SProgramShaderDefinition *programDefinition(const QString &name);
// Compiles every registered definition for the current context's share group.
void compileRegisteredPrograms();
// True when the current context's share group has no compiled program yet.
bool compiledProgramsEmpty();
// The compiled program of that name for the current context, or null.
QOpenGLShaderProgram *compiledProgram(const QString &name);
// Links one program for the current context the first time it is asked for and keeps it;
// used by plotters that carry a program of their own. criticalText prefixes the link log.
QOpenGLShaderProgram *privateProgram(const QString &name, const QString &vertex,
                                     const QString &fragment, const char *criticalText);
// Makes a plotter's own program known by name, so that draw calls naming it find it; the
// first declaration of a name wins. The texts must live as long as the process.
void declarePrivateProgram(const QString &name, const char *vertex, const char *fragment,
                           const char *criticalText);
// The program a draw call names for the current context: a compiled shared program, else a
// declared private one (linked on first use), else null.
QOpenGLShaderProgram *programFor(const QString &name);
}  // namespace chartelle
