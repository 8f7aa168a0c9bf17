// The chart gallery: live charts without a board, for trying zoom, pan, the navigator and the
// legends. The chart module is imported from build/bin/Chartelle beside the program.
#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QImage>
#include <QQuickWindow>
#include <QTimer>
#include <QUrl>
#include <cstdio>

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
    QCommandLineOption grab(QStringLiteral("grab"),
                            QStringLiteral("Save a picture of the window to the file after --grab-after ms, then quit."),
                            QStringLiteral("file"));
    parser.addOption(grab);
    QCommandLineOption grabAfter(QStringLiteral("grab-after"), QStringLiteral("Delay before --grab, in ms."),
                                 QStringLiteral("ms"), QStringLiteral("3000"));
    parser.addOption(grabAfter);
    QCommandLineOption tab(QStringLiteral("tab"), QStringLiteral("Tab to show first (0, 1 or 2)."),
                           QStringLiteral("index"), QStringLiteral("0"));
    parser.addOption(tab);
    parser.process(app);

    QQuickStyle::setStyle(QStringLiteral("Material"));
    QQmlApplicationEngine engine;
    engine.addImportPath(QCoreApplication::applicationDirPath());
    engine.rootContext()->setContextProperty(QStringLiteral("sampleCsvPath"), parser.value(csv));
    engine.load(QUrl(QStringLiteral("qrc:/gallery/Gallery.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    if (window)
        window->setProperty("currentTab", parser.value(tab).toInt());
    if (parser.isSet(grab) && window) {
        const QString path = parser.value(grab);
        QTimer::singleShot(parser.value(grabAfter).toInt(), &app, [window, path]() {
            const bool ok = window->grabWindow().save(path);
            if (!ok)
                std::fprintf(stderr, "Cannot save the picture to %s\n", qPrintable(path));
            QCoreApplication::exit(ok ? 0 : 1);
        });
    }
    return app.exec();
}
