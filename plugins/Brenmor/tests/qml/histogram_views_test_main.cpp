// Qt Quick Test runner for the views of both histogram plugins. Every test file gets an engine
// with stand-ins for the program's native objects ("tdc_backed", "settings", "fileUtils") and
// for the plugin's native types (HISTOGRAM_QML_URI), written in QML under the test folder's
// fakes/, the real "TDCFrontend" enums and the real chart module. The build names the test,
// the plugin's module and its time-trigger stand-in.
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
        QCoreApplication::setOrganizationName(QStringLiteral("ORVELL"));
        QCoreApplication::setApplicationName(QStringLiteral(HISTOGRAM_QML_APPLICATION));
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral(CHARTELLE_QML_IMPORT_DIR));
        qmlRegisterUncreatableMetaObject(TDCFrontend::staticMetaObject, "TDCFrontend", 1, 0,
                                         "EConnectionStatus", "Error: only enums");
        qmlRegisterUncreatableMetaObject(TDCFrontend::staticMetaObject, "TDCFrontend", 1, 0,
                                         "EEdge", "Error: only enums");
        qmlRegisterType(fake(HISTOGRAM_QML_TIME_TRIGGER_FAKE), HISTOGRAM_QML_URI, 1, 0, "TimeTriggerModel");
        qmlRegisterType(fake("FakeFileIO.qml"), HISTOGRAM_QML_URI, 1, 0, "FileIO");
        publish(engine, "tdc_backed", "FakeBackend.qml");
        publish(engine, "settings", "FakeSettings.qml");
        publish(engine, "fileUtils", "FakeFileUtils.qml");
    }

private:
    static QUrl fake(const char *file)
    {
        return QUrl::fromLocalFile(QStringLiteral(QUICK_TEST_SOURCE_DIR "/fakes/") + QLatin1String(file));
    }

    static void publish(QQmlEngine *engine, const char *name, const char *file)
    {
        QQmlComponent component(engine, fake(file));
        QObject *object = component.create();
        if (!object)
            qFatal("Cannot create %s: %s", file, qPrintable(component.errorString()));
        object->setParent(engine);
        engine->rootContext()->setContextProperty(QLatin1String(name), object);
    }
};

int main(int argc, char **argv)
{
    Setup setup;
    return quick_test_main_with_setup(argc, argv, HISTOGRAM_QML_TEST_NAME, QUICK_TEST_SOURCE_DIR, &setup);
}

#include "histogram_views_test_main.moc"
