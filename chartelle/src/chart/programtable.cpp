#include "chart/programtable.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QtDebug>

#include <map>
#include <memory>

void SProgramShaderDefinition::shaderSources(QVector<QPair<QOpenGLShader::ShaderType, QString>> &sources) const
{
    sources.append({QOpenGLShader::Vertex, vertexSource()});
    sources.append({QOpenGLShader::Fragment, fragmentSource()});
}

SProgramShaderDefinition::~SProgramShaderDefinition() = default;

namespace {

struct ProgramTable
{
    QMutex mutex;
    std::map<QString, std::unique_ptr<SProgramShaderDefinition>> definitions;
    // Compiled programs are children of their share group, so they go when the group goes.
    QHash<QOpenGLContextGroup *, QHash<QString, QOpenGLShaderProgram *>> compiled;
    struct PrivateSource
    {
        const char *vertex;
        const char *fragment;
        const char *criticalText;
    };
    QHash<QString, PrivateSource> privateSources;
};

ProgramTable &table()
{
    static ProgramTable t;
    return t;
}

QHash<QString, QOpenGLShaderProgram *> &groupPrograms(ProgramTable &t, QOpenGLContextGroup *group)
{
    if (!t.compiled.contains(group)) {
        QObject::connect(group, &QObject::destroyed, [group]() {
            ProgramTable &tt = table();
            QMutexLocker lock(&tt.mutex);
            tt.compiled.remove(group);
        });
    }
    return t.compiled[group];
}

QOpenGLShaderProgram *link(const QVector<QPair<QOpenGLShader::ShaderType, QString>> &sources,
                           QOpenGLContextGroup *group, QString *log)
{
    auto *program = new QOpenGLShaderProgram(group);
    for (const auto &s : sources)
        program->addCacheableShaderFromSourceCode(s.first, s.second);
    if (!program->link()) {
        *log = program->log();
        delete program;
        return nullptr;
    }
    return program;
}

}  // namespace

namespace chartelle {

bool registerProgramDefinition(SProgramShaderDefinition *definition)
{
    if (!definition)
        return false;
    ProgramTable &t = table();
    QMutexLocker lock(&t.mutex);
    const QString name = definition->name();
    if (t.definitions.count(name)) {
        delete definition;
        return false;
    }
    t.definitions.emplace(name, std::unique_ptr<SProgramShaderDefinition>(definition));
    return true;
}

const SProgramShaderDefinition *programDefinition(const QString &name)
{
    ProgramTable &t = table();
    QMutexLocker lock(&t.mutex);
    auto it = t.definitions.find(name);
    return it == t.definitions.end() ? nullptr : it->second.get();
}

void compileRegisteredPrograms()
{
    QOpenGLContext *context = QOpenGLContext::currentContext();
    if (!context)
        return;
    ProgramTable &t = table();
    QMutexLocker lock(&t.mutex);
    auto &programs = groupPrograms(t, context->shareGroup());
    for (const auto &entry : t.definitions) {
        const QString &name = entry.first;
        if (programs.contains(name))
            qWarning() << "Skipping" << name
                       << "program shader because already exist another program with that name.";
        QVector<QPair<QOpenGLShader::ShaderType, QString>> sources;
        entry.second->shaderSources(sources);
        QString log;
        QOpenGLShaderProgram *program = link(sources, context->shareGroup(), &log);
        if (!program) {
            qWarning().noquote() << "Cannot compile" << name << "program shader.\nLOG:\n" + log;
            continue;
        }
        delete programs.value(name, nullptr);
        programs.insert(name, program);
    }
}

bool compiledProgramsEmpty()
{
    QOpenGLContext *context = QOpenGLContext::currentContext();
    if (!context)
        return true;
    ProgramTable &t = table();
    QMutexLocker lock(&t.mutex);
    auto it = t.compiled.constFind(context->shareGroup());
    return it == t.compiled.constEnd() || it->isEmpty();
}

QOpenGLShaderProgram *compiledProgram(const QString &name)
{
    QOpenGLContext *context = QOpenGLContext::currentContext();
    if (!context)
        return nullptr;
    ProgramTable &t = table();
    QMutexLocker lock(&t.mutex);
    auto it = t.compiled.constFind(context->shareGroup());
    return it == t.compiled.constEnd() ? nullptr : it->value(name, nullptr);
}

QOpenGLShaderProgram *privateProgram(const QString &name, const QString &vertex,
                                     const QString &fragment, const char *criticalText)
{
    QOpenGLContext *context = QOpenGLContext::currentContext();
    if (!context)
        return nullptr;
    ProgramTable &t = table();
    QMutexLocker lock(&t.mutex);
    // Private programs live beside the shared ones under a name no definition can take.
    const QString key = QStringLiteral("\x01") + name;
    auto &programs = groupPrograms(t, context->shareGroup());
    if (programs.contains(key))
        return programs.value(key);
    QString log;
    QOpenGLShaderProgram *program =
        link({{QOpenGLShader::Vertex, vertex}, {QOpenGLShader::Fragment, fragment}},
             context->shareGroup(), &log);
    if (!program) {
        qCritical().noquote() << QString::fromLatin1(criticalText) + log;
        // Remember the failure so the log is written once, not every frame.
        programs.insert(key, nullptr);
        return nullptr;
    }
    programs.insert(key, program);
    return program;
}

void declarePrivateProgram(const QString &name, const char *vertex, const char *fragment,
                           const char *criticalText)
{
    ProgramTable &t = table();
    QMutexLocker lock(&t.mutex);
    if (!t.privateSources.contains(name))
        t.privateSources.insert(name, {vertex, fragment, criticalText});
}

QOpenGLShaderProgram *programFor(const QString &name)
{
    if (QOpenGLShaderProgram *shared = compiledProgram(name))
        return shared;
    ProgramTable::PrivateSource source{};
    {
        ProgramTable &t = table();
        QMutexLocker lock(&t.mutex);
        auto it = t.privateSources.constFind(name);
        if (it == t.privateSources.constEnd())
            return nullptr;
        source = *it;
    }
    return privateProgram(name, QString::fromLatin1(source.vertex), QString::fromLatin1(source.fragment),
                          source.criticalText);
}

}  // namespace chartelle
