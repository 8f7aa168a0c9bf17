#include "shaders/chartprograms.h"

#include <QtDebug>

#include <new>

namespace chartelle {

QString flatColorFragment()
{
    return QStringLiteral("#ifdef GL_ES\nprecision mediump float;\n#endif\nuniform vec4 color;\n"
                          "void main()\n{\n    gl_FragColor = color;\n}");
}

QString varyingColorFragment()
{
    return QStringLiteral("#ifdef GL_ES\nprecision mediump float;\n#endif\nvarying vec4 vColor;\n"
                          "void main()\n{\n    gl_FragColor = vColor;\n}");
}

void registerChartPrograms()
{
    SProgramShaderDefinition *definitions[] = {new (std::nothrow) SAreaPlotterProgram,
                                               new (std::nothrow) SHResBarProgram,
                                               new (std::nothrow) SAreaGradientProgram};
    for (SProgramShaderDefinition *d : definitions) {
        if (!d) {
            qCritical() << "Cannot register program shader";
            continue;
        }
        registerProgramDefinition(d);
    }
}

}  // namespace chartelle

QString SAreaPlotterProgram::name() const
{
    return QStringLiteral("area");
}

QString SAreaPlotterProgram::vertexSource() const
{
    return QStringLiteral("attribute vec2 vertex;\nuniform mat4 matrix;\nvoid main()\n{\n"
                          "    gl_Position = matrix * vec4(vertex.xy, 1.0, 1.0);\n}\n");
}

QString SAreaPlotterProgram::fragmentSource() const
{
    return chartelle::flatColorFragment();
}

QString SAreaGradientProgram::name() const
{
    return QStringLiteral("area_gradient");
}

QString SAreaGradientProgram::vertexSource() const
{
    return QStringLiteral("attribute vec2 vertex;\nuniform mat4 matrix;\nuniform vec4 color_top;\n"
                          "uniform vec4 color_bot;\nvarying vec4 vColor;\nvoid main()\n{\n"
                          "    vec4 pos = matrix * vec4(vertex.xy, 1.0, 1.0);\n"
                          "    float middle = (-pos.y + 1.0) / 2.0;\n"
                          "    vColor = mix(color_bot, color_top, middle);\n"
                          "    gl_Position = pos;\n}\n");
}

QString SAreaGradientProgram::fragmentSource() const
{
    return chartelle::varyingColorFragment();
}

QString SHResBarProgram::name() const
{
    return QStringLiteral("hresbar");
}

QString SHResBarProgram::vertexSource() const
{
    return QStringLiteral("attribute vec3 vertex;\nuniform float x_msb;\nuniform float x_lsb;\n"
                          "uniform float screen_dx;\nuniform float screen_dy;\nvoid main()\n{\n"
                          "   float x\t\t= ((vertex[0] - x_msb) + (vertex[1] - x_lsb))*screen_dx - 1.0;\n"
                          "   float y\t\t= -vertex[2]/screen_dy + 1.0;\n"
                          "   gl_Position = vec4( x, y, 1.0, 1.0);\n}\n");
}

QString SHResBarProgram::fragmentSource() const
{
    return chartelle::flatColorFragment();
}
