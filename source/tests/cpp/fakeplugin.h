#pragma once
// Stand-ins for the tests of the plugin host and the model configuration: a hardware module
// of any type number, a model with one persisted property, and a plugin that accepts a set of
// type numbers.

#include <QSet>

#include "plugin-contract/basepluginterface.h"
#include "plugin-contract/tdcbaseextensionobject.h"
#include "tdc/tessaronmodule.h"

class FakeModule : public TessaronModule {
public:
    explicit FakeModule(std::uint32_t type, TessaronVersion hw = {1, 2, 3}, TessaronVersion sw = {4, 5, 6})
        : TessaronModule(0, 0, hw, sw), m_type(type) {}
    std::uint32_t typeID() const override { return m_type; }

private:
    std::uint32_t m_type;
};

class FakeModel : public TDCBaseExtensionObject {
    Q_OBJECT
    Q_PROPERTY(double gain READ gain WRITE setGain)
public:
    FakeModel(TessaronModule *module, QObject *parent);
    double gain() const { return m_gain; }
    void setGain(double gain) { m_gain = gain; }
    bool startProbeTask(std::function<void()> task) { return startTask(std::move(task)); }
    QString createdBy;

private:
    double m_gain = 0;
};

class FakePlugin : public BasePluginInterface {
    Q_OBJECT
public:
    FakePlugin(QString name, QSet<std::uint32_t> accepted, int priority = 10);

    void registerTypes(const char *uri) override;
    int registerTypesCalls = 0;

public slots:
    QString name() override { return m_name; }
    bool isCompatible(TessaronModule *module) override;
    QString icon() override { return m_name.toLower() + QStringLiteral("-icon"); }
    QString view() override { return QStringLiteral("qrc:/plugin/") + m_name.toLower() + QStringLiteral("/View.qml"); }
    QString uuid() override { return m_name + QStringLiteral("View"); }
    int priority() override { return m_priority; }
    QString version() override { return QStringLiteral("0.1.0"); }
    TDCBaseExtensionObject *createModel(TessaronModule *module, QObject *backend) override;

private:
    QString m_name;
    QSet<std::uint32_t> m_accepted;
    int m_priority;
};
