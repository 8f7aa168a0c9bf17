// The chart gallery: live charts without a board, for trying zoom, pan, the navigator and the
// legends. The chart module is imported from build/bin/Chartelle beside the program.
#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QUrl>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("chartelle-gallery"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Chart gallery: random histograms, a file and variable-width bars."));
    parser.addHelpOption();
    QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("One-column number file to show."),
                           QStringLiteral("file"),
                           QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("chartelle-sample.csv")));
    parser.addOption(csv);
    parser.process(app);

    QQuickStyle::setStyle(QStringLiteral("Material"));
    QQmlApplicationEngine engine;
    engine.addImportPath(QCoreApplication::applicationDirPath());
    engine.rootContext()->setContextProperty(QStringLiteral("sampleCsvPath"), parser.value(csv));
    engine.load(QUrl(QStringLiteral("qrc:/gallery/Gallery.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    return app.exec();
}
