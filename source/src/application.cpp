#include "tessaron/application.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDebug>
#include <QGuiApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QStandardPaths>

#include <memory>

#include "tdc/tdclog.h"
#include "tessaron/commandline.h"
#include "tessaron/fileutils.h"
#include "tessaron/logfile.h"
#include "tessaron/logging.h"
#include "tessaron/settings.h"
#include "tessaron/tdcbackendwrapper.h"

namespace tessaron {

int runTessaron(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    // Chart items share OpenGL resources between windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    auto app = std::make_unique<QGuiApplication>(argc, argv);

    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":resources/window_icon.svg")));
    QCoreApplication::setOrganizationName(QStringLiteral("ORVELL"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("orvell.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessaron"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kApplicationVersion));

    qInstallMessageHandler(logMessageHandler);

    // Help and version end the program inside process(): before the QML engine exists, so that
    // nothing of it is left undestroyed at that exit.
    auto parser = std::make_unique<QCommandLineParser>();
    addStartupOptions(*parser);
    parser->process(*app);   // answers help and version, and ends on unknown options
    const StartupOptions options = readStartupOptions(*parser);

    auto engine = std::make_unique<QQmlApplicationEngine>();
    // Each path added is searched before the earlier ones: the application folder first.
    const QString appDir = QCoreApplication::applicationDirPath();
    engine->addImportPath(QStringLiteral("/usr/local/lib/qml"));
    engine->addImportPath(QStringLiteral("/usr/lib/qml"));
    engine->addImportPath(QStringLiteral("/app/lib/qml"));
    engine->addImportPath(appDir + QStringLiteral("/../lib/qml"));
    engine->addImportPath(appDir);

    QQuickStyle::setStyle(QStringLiteral("Material"));

    libtdcLog::setLevel(options.libtdcLogLevel);
    if (options.filterRules)
        QLoggingCategory::setFilterRules(*options.filterRules);

    LogFile logFile = createLogFile(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation),
                                    QDateTime::currentDateTime());
    if (!redirectStdout(logFile))
        qCritical().noquote() << "Cannot redirect stdout to file.";

    // The application owns the wrapper; it goes last, with the application.
    auto *backend = new TDCBackendWrapper(app.get(), options.backendOptions);
    engine->rootContext()->setContextProperty(QStringLiteral("tdc_backed"), backend);
    registerFrontendTypes();

    auto settings = std::make_unique<Settings>();
    auto fileUtils = std::make_unique<FileUtils>();
    engine->rootContext()->setContextProperty(QStringLiteral("settings"), settings.get());
    engine->rootContext()->setContextProperty(QStringLiteral("fileUtils"), fileUtils.get());
    engine->rootContext()->setContextProperty(QStringLiteral("tessaronVersion"),
                                              QString::fromLatin1(kApplicationVersion));
    engine->rootContext()->setContextProperty(QStringLiteral("tessaronBuildInfo"), buildInformation());
    engine->rootContext()->setContextProperty(QStringLiteral("tessaronReleaseBuild"), isReleaseBuild());

    const QUrl url(QStringLiteral("qrc:/main.qml"));
    QObject::connect(
        engine.get(), &QQmlApplicationEngine::objectCreated, app.get(),
        [url](QObject *object, const QUrl &objectUrl) {
            if (!object && url == objectUrl)
                QCoreApplication::exit(-1);
        },
        Qt::QueuedConnection);
    engine->load(url);

    const int result = app->exec();

    fileUtils.reset();
    settings.reset();
    parser.reset();
    engine.reset();
    app.reset();
    return result;
}

} // namespace tessaron
