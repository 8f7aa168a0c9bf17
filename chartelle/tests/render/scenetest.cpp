// Chart views as the plugins use them: "import Chartelle 1.0" loads the module's shared
// library, and the test reaches only what the library exports.
#include "chartelle/barplotterdx.h"
#include "chartelle/chartarea.h"
#include "chartwindow.h"

#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QUrl>

using namespace charttest;

class SceneTest : public QObject
{
    Q_OBJECT

private slots:
    void zoomByDragAndPan();
    void viewExportsEndOnceWithTheirPaths();

private:
    static bool load(QQuickView &view, const QString &scene)
    {
        view.engine()->addImportPath(QStringLiteral(CHARTELLE_QML_IMPORT_DIR));
        view.setColor(Background);
        view.setResizeMode(QQuickView::SizeRootObjectToView);
        view.resize(800, 500);
        // The scenes are found from the source folder given at build time: file names of
        // the compiler may be relative when a compiler cache rewrites them.
        view.setSource(QUrl::fromLocalFile(QStringLiteral(CHARTELLE_SCENE_DIR "/") + scene));
        if (view.status() != QQuickView::Ready) {
            for (const QQmlError &e : view.errors())
                qWarning().noquote() << e.toString();
            return false;
        }
        return true;
    }
};

void SceneTest::zoomByDragAndPan()
{
    QQuickView view;
    QVERIFY(load(view, QStringLiteral("ZoomScene.qml")));
    auto *plot = view.rootObject()->findChild<QQuickItem *>(QStringLiteral("plot"));
    QVERIFY(plot);
    auto *chart = qvariant_cast<ChartArea *>(plot->property("refChartArea"));
    QVERIFY(chart);
    auto *bars = view.rootObject()->findChild<BarPlotterDx *>(QStringLiteral("bars"));
    QVERIFY(bars);
    // 100 bars of width 1, the bar at 40 tall.
    QVector<double> data;
    for (int k = 0; k < 100; ++k)
        data << 1.0 << (k == 40 ? 20.0 : 1.0);
    bars->setData(data);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view, 20000));
    QTRY_COMPARE_WITH_TIMEOUT(chart->chartRect().width(), 100.0, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(chart->zoomRect().width(), 100.0, 20000);

    const QPointF origin = chart->mapToScene(QPointF(0, 0));
    const double cw = chart->width();
    auto at = [&](double fx, double fy) {
        return QPoint(int(origin.x() + fx * cw), int(origin.y() + fy * chart->height()));
    };
    auto send = [&](QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, p, p, view.mapToGlobal(p), button, buttons, Qt::NoModifier);
        QGuiApplication::sendEvent(&view, &e);
    };

    // Left drag from 30 % to 50 % of the width, moving down: zoom into 30..50.
    send(QEvent::MouseButtonPress, at(0.3, 0.3), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, at(0.4, 0.5), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, at(0.5, 0.6), Qt::LeftButton, Qt::NoButton);
    const double pixel = 100.0 / cw;
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(chart->zoomRect().left() - 30.0) < 2 * pixel, 20000);
    QVERIFY(qAbs(chart->zoomRect().width() - 20.0) < 2 * pixel);
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(chart->zoomRect().height() - 21.0) < 1e-9, 20000);
    QImage zoomed = view.grabWindow();
    zoomed.save(artifact(QStringLiteral("zoomed.png")));
    // The tall bar 40..41 sits at half the zoomed width.
    const QPoint tall = at(0.525, 0.5);
    QVERIFY(near(zoomed.pixelColor(tall), BarColor));
    QVERIFY(near(zoomed.pixelColor(at(0.3, 0.5)), Background, 60));

    // Right-button pan by 25 % of the width to the left shows 5 units further right.
    send(QEvent::MouseButtonPress, at(0.6, 0.5), Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseMove, at(0.45, 0.5), Qt::NoButton, Qt::RightButton);
    send(QEvent::MouseMove, at(0.35, 0.5), Qt::NoButton, Qt::RightButton);
    send(QEvent::MouseButtonRelease, at(0.35, 0.5), Qt::RightButton, Qt::NoButton);
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(chart->zoomRect().left() - 35.0) < 3 * pixel, 20000);
    QVERIFY(qAbs(chart->zoomRect().width() - 20.0) < 2 * pixel);

    // Panning far beyond the right edge stops there.
    for (int round = 0; round < 4; ++round) {
        send(QEvent::MouseButtonPress, at(0.95, 0.5), Qt::MiddleButton, Qt::MiddleButton);
        for (int i = 1; i <= 9; ++i)
            send(QEvent::MouseMove, at(0.95 - 0.1 * i, 0.5), Qt::NoButton, Qt::MiddleButton);
        send(QEvent::MouseButtonRelease, at(0.05, 0.5), Qt::MiddleButton, Qt::NoButton);
    }
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(chart->zoomRect().right() - 100.0) < 1e-6, 20000);
    QVERIFY(qAbs(chart->zoomRect().width() - 20.0) < 2 * pixel);

    // A zoom window narrower than 75 pixels in the navigator makes the navigator zoom too.
    auto *navigator = qvariant_cast<ChartArea *>(plot->property("refNavigator"));
    QVERIFY(navigator);
    QCOMPARE(navigator->zoomRect().width(), 100.0);
    send(QEvent::MouseButtonPress, at(0.50, 0.3), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, at(0.52, 0.4), Qt::LeftButton, Qt::NoButton);
    QTRY_VERIFY_WITH_TIMEOUT(chart->zoomRect().width() < 1.0, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(navigator->zoomRect().width() < 100.0, 20000);
    const QRectF mainZoom = chart->zoomRect();
    const QRectF navZoom = navigator->zoomRect();
    QVERIFY(navZoom.left() <= mainZoom.left() && navZoom.right() >= mainZoom.right());
    QVERIFY(qAbs(mainZoom.width() / navZoom.width() * navigator->width() - 75.0) < 1.0);
    view.grabWindow().save(artifact(QStringLiteral("navigator-zoomed.png")));

    // Dragging upwards fits the whole range again, and the navigator shows everything.
    send(QEvent::MouseButtonPress, at(0.5, 0.7), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, at(0.6, 0.2), Qt::LeftButton, Qt::NoButton);
    QTRY_COMPARE_WITH_TIMEOUT(chart->zoomRect().width(), 100.0, 20000);
    QCOMPARE(chart->zoomRect().left(), 0.0);
    QTRY_COMPARE_WITH_TIMEOUT(navigator->zoomRect().width(), 100.0, 20000);

    // The legend lists the chart's plotter.
    QVariant legend;
    QVERIFY(QMetaObject::invokeMethod(plot, "legendPlotters", Q_RETURN_ARG(QVariant, legend)));
    QCOMPARE(legend.toList().size(), 1);
}

void SceneTest::viewExportsEndOnceWithTheirPaths()
{
    QQuickView view;
    QVERIFY(load(view, QStringLiteral("ZoomScene.qml")));
    auto *plot = view.rootObject()->findChild<QQuickItem *>(QStringLiteral("plot"));
    QVERIFY(plot);
    auto *background = plot->findChild<QQuickItem *>(QStringLiteral("exportBackground"));
    QVERIFY(background);
    auto *bars = view.rootObject()->findChild<BarPlotterDx *>(QStringLiteral("bars"));
    QVERIFY(bars);
    bars->setData({1, 5, 1, 2});
    QSignalSpy exported(plot, SIGNAL(exportComplete(QString, bool)));

    // Not shown yet: the view cannot be grabbed, and says so once.
    const QString early = artifact(QStringLiteral("view-unshown.png"));
    QVERIFY(QMetaObject::invokeMethod(plot, "exportImage", Q_ARG(QVariant, early), Q_ARG(QVariant, 1)));
    QCOMPARE(exported.count(), 1);
    QCOMPARE(exported.at(0).at(0).toString(), early);
    QVERIFY(!exported.at(0).at(1).toBool());
    QVERIFY(!background->isVisible());
    exported.clear();

    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view, 20000));
    const QString first = artifact(QStringLiteral("view-first.png"));
    const QString secondFile = artifact(QStringLiteral("view-second.png"));
    const QString second = QUrl::fromLocalFile(secondFile).toString();
    const QString bad = QStringLiteral("/nonexistent-folder-for-chart-test/view.png");
    QFile::remove(first);
    QFile::remove(secondFile);
    for (const QString &path : {first, second, bad})
        QVERIFY(QMetaObject::invokeMethod(plot, "exportImage", Q_ARG(QVariant, path), Q_ARG(QVariant, 2)));
    QVERIFY2(background->isVisible(), "the background is drawn behind the chart while exporting");
    QTRY_COMPARE_WITH_TIMEOUT(exported.count(), 3, 20000);
    QMap<QString, bool> results;
    for (const QList<QVariant> &args : qAsConst(exported))
        results.insert(args.at(0).toString(), args.at(1).toBool());
    QCOMPARE(results.size(), 3);
    QCOMPARE(results.value(first, false), true);
    QCOMPARE(results.value(second, false), true);
    QCOMPARE(results.value(bad, true), false);
    QCOMPARE(QImage(first).size(), QSize(1600, 1000));
    QCOMPARE(QImage(secondFile).size(), QSize(1600, 1000));
    QVERIFY2(!background->isVisible(), "the background is hidden again");
    QTest::qWait(200);
    QCOMPARE(exported.count(), 3);
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QSG_RENDER_LOOP"))
        qputenv("QSG_RENDER_LOOP", "threaded");
    QGuiApplication app(argc, argv);
    SceneTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "scenetest.moc"
