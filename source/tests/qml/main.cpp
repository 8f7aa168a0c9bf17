// Qt Quick Test runner for the QML shell and the counter views. Every test file gets an engine
// with stand-ins for the program's native objects ("tdc_backed", "settings", "fileUtils"),
// written in QML under fakes/, and the real "TDCFrontend" enums.
#include <QtQuickTest>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>

#include "plugin-contract/tdcfrontend.h"

class Setup : public QObject {
    Q_OBJECT
public:
    Setup() { QQuickStyle::setStyle("Material"); }

public slots:
    void applicationAvailable()
    {
        // Settings that Qt's own dialogs keep go to the private home folder of the test run.
        QCoreApplication::setOrganizationName(QStringLiteral("ORVELL"));
        QCoreApplication::setApplicationName(QStringLiteral("TessaronQmlTests"));
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        qmlRegisterUncreatableMetaObject(TDCFrontend::staticMetaObject, "TDCFrontend", 1, 0,
                                         "EConnectionStatus", "Error: only enums");
        qmlRegisterUncreatableMetaObject(TDCFrontend::staticMetaObject, "TDCFrontend", 1, 0,
                                         "EEdge", "Error: only enums");
        publish(engine, "tdc_backed", "FakeBackend.qml");
        publish(engine, "settings", "FakeSettings.qml");
        publish(engine, "fileUtils", "FakeFileUtils.qml");
        engine->rootContext()->setContextProperty("tessaronVersion", QStringLiteral("1.4.2.2"));
        engine->rootContext()->setContextProperty("tessaronBuildInfo", QStringLiteral("Version test "));
        engine->rootContext()->setContextProperty("tessaronReleaseBuild", false);
    }

private:
    static void publish(QQmlEngine *engine, const char *name, const char *file)
    {
        QQmlComponent component(engine, QUrl::fromLocalFile(QStringLiteral(QUICK_TEST_SOURCE_DIR "/fakes/") +
                                                            QLatin1String(file)));
        QObject *object = component.create();
        if (!object) {
            qFatal("Cannot create %s: %s", file, qPrintable(component.errorString()));
        }
        object->setParent(engine);
        engine->rootContext()->setContextProperty(QLatin1String(name), object);
    }
};

QUICK_TEST_MAIN_WITH_SETUP(tessaron_qml, Setup)

#include "main.moc"
