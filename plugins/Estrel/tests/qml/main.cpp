// Qt Quick Test runner for the threshold views, run against the resources as they are
// shipped, with a QML stand-in for the model. Screenshots of the views go to the folder in
// "artifactDir".
#include <QtQuickTest>
#include <QDir>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>

#include "programmablethresholdchannel.h"

// Makes real channel objects for the stand-in model; their owner is the factory.
class ChannelFactory : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    Q_INVOKABLE QObject *make(int id, bool fixed, double minVoltage, double maxVoltage, double voltage)
    {
        auto *channel = new ProgrammableThresholdChannel(std::uint8_t(id), fixed ? 0 : 1, minVoltage, maxVoltage, this);
        channel->setVoltage(voltage);
        return channel;
    }
};

class Setup : public QObject {
    Q_OBJECT
public:
    Setup() { QQuickStyle::setStyle("Material"); }

public slots:
    void applicationAvailable()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("ORVELL"));
        QCoreApplication::setApplicationName(QStringLiteral("EstrelQmlTests"));
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        QDir().mkpath(QStringLiteral(ESTREL_ARTIFACT_DIR));
        engine->rootContext()->setContextProperty("artifactDir", QStringLiteral(ESTREL_ARTIFACT_DIR));
        engine->rootContext()->setContextProperty("channelFactory", new ChannelFactory(engine));
    }
};

QUICK_TEST_MAIN_WITH_SETUP(estrel_qml, Setup)

#include "main.moc"
