#pragma once
// The three shared programs of the chart plugin: "area" (flat colour), "area_gradient"
// (vertical blend between two colours) and "hresbar" (bars with x split into two floats).
#include "chart/programtable.h"

class SAreaPlotterProgram : public SProgramShaderDefinition
{
public:
    QString name() const override;
    QString vertexSource() const override;
    QString fragmentSource() const override;
};

class SAreaGradientProgram : public SProgramShaderDefinition
{
public:
    QString name() const override;
    QString vertexSource() const override;
    QString fragmentSource() const override;
};

class SHResBarProgram : public SProgramShaderDefinition
{
public:
    QString name() const override;
    QString vertexSource() const override;
    QString fragmentSource() const override;
};

namespace chartelle {
// Fragment shader that outputs the uniform "color"; shared by several programs.
QString flatColorFragment();
// Fragment shader that outputs the varying "vColor".
QString varyingColorFragment();
// Registers the three shared programs; logs and goes on when one cannot be created.
void registerChartPrograms();
}  // namespace chartelle
