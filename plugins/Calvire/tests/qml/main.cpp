// Qt Quick Test runner for the legacy histogram views. Every test file gets an engine with stand-ins
// for the program's native objects ("tdc_backed", "settings", "fileUtils") and for the
// plugin's native types ("TDCFrontend.OldHistogrammer"), written in QML under fakes/, the real
// "TDCFrontend" enums and the real chart module.
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
        QCoreApplication::setApplicationName(QStringLiteral("CalvireQmlTests"));
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral(CHARTELLE_QML_IMPORT_DIR));
        qmlRegisterUncreatableMetaObject(TDCFrontend::staticMetaObject, "TDCFrontend", 1, 0,
                                         "EConnectionStatus", "Error: only enums");
        qmlRegisterUncreatableMetaObject(TDCFrontend::staticMetaObject, "TDCFrontend", 1, 0,
                                         "EEdge", "Error: only enums");
        qmlRegisterType(fake("FakeOldTimeTriggerModel.qml"), "TDCFrontend.OldHistogrammer", 1, 0, "TimeTriggerModel");
        qmlRegisterType(fake("FakeFileIO.qml"), "TDCFrontend.OldHistogrammer", 1, 0, "FileIO");
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

QUICK_TEST_MAIN_WITH_SETUP(calvire_qml, Setup)

#include "main.moc"
