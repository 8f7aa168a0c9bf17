// Charts drawn in real windows (Xvfb with Mesa's software renderer): the pictures are grabbed
// and checked pixel by pixel, and kept as PNG files in the test artifact folder.
#include "chartelle/barplotterdx.h"
#include "chartelle/chartarea.h"
#include "plotters/areaplotter.h"
#include "plotters/bardecorator.h"
#include "shaders/chartprograms.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QColor Background(Qt::white);
const QColor BarColor(Qt::red);

bool near(const QColor &a, const QColor &b, int tolerance = 40)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

QString artifact(const QString &name)
{
    QDir().mkpath(QStringLiteral(CHARTELLE_ARTIFACT_DIR));
    return QDir(QStringLiteral(CHARTELLE_ARTIFACT_DIR)).filePath(QStringLiteral("chartelle-") + name);
}

// A window with one chart filling it; the chart repaints on every request so tests do not
// wait on the throttle unless they mean to.
struct ChartWindow
{
    explicit ChartWindow(int w = 400, int h = 300)
    {
        window.setColor(Background);
        window.resize(w, h);
        chart = new ChartArea(window.contentItem());
        chart->setSize(QSizeF(w, h));
        chart->setUpdateIntervalMs(0);
        QObject::connect(&window, &QQuickWindow::frameSwapped, &window, [this] { ++frames; });
    }
    bool show()
    {
        window.show();
        return QTest::qWaitForWindowExposed(&window, 20000);
    }
    QImage grab(const QString &name)
    {
        const QImage image = window.grabWindow();
        image.save(artifact(name + QStringLiteral(".png")));
        return image;
    }
    QQuickWindow window;
    ChartArea *chart = nullptr;
    int frames = 0;
};

}  // namespace

class RenderTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void barsWhereTheDataIs();
    void hresBarLandsOnItsPixels();
    void areaFillsUnderTheData();
    void throttledChangeIsDrawnLater();
    void exportWritesTheImage();
    void zoomByDragAndPan();
    void hoverHighlightFades();
};

void RenderTest::initTestCase()
{
    // The QML scenes import the plugin, which registers the types; native charts only need
    // the programs.
    chartelle::registerChartPrograms();
}

void RenderTest::barsWhereTheDataIs()
{
    ChartWindow w;
    BarPlotterDx bars;
    bars.setColor(BarColor);
    bars.setChartArea(w.chart);
    bars.setData({1, 0, 1, 10, 1, 0, 1, 5});
    QVERIFY(w.show());
    QTRY_VERIFY_WITH_TIMEOUT(bars.isInitialized(), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(w.chart->chartRect(), QRectF(0, 0, 4, 10.5), 20000);
    w.chart->resetZoomView();
    QTRY_COMPARE_WITH_TIMEOUT(w.chart->zoomRect(), QRectF(0, 0, 4, 10.5), 20000);

    const QImage image = w.grab(QStringLiteral("bars"));
    QCOMPARE(image.size(), QSize(400, 300));
    // 100 pixels per bar; full height is 10.5, so bar 1 reaches y = 14 and bar 3 y = 157.
    QVERIFY(near(image.pixelColor(150, 290), BarColor));
    QVERIFY(near(image.pixelColor(150, 20), BarColor));
    QVERIFY(near(image.pixelColor(150, 8), Background));
    QVERIFY(near(image.pixelColor(350, 290), BarColor));
    QVERIFY(near(image.pixelColor(350, 165), BarColor));
    QVERIFY(near(image.pixelColor(350, 150), Background));
    for (int y = 10; y < 300; y += 20) {
        QVERIFY2(near(image.pixelColor(50, y), Background), "no bar where the data are 0");
        QVERIFY2(near(image.pixelColor(250, y), Background), "no bar where the data are 0");
    }
}

void RenderTest::hresBarLandsOnItsPixels()
{
    ChartWindow w;
    BarPlotterDx bars;
    bars.setColor(BarColor);
    bars.setChartArea(w.chart);
    // A gap up to 1e9 + 0.25 units, then a bar half a unit wide: a single float cannot tell
    // 1e9 + 0.25 from 1e9 (its spacing there is 64).
    bars.setData({1e9 + 0.25, 0, 0.5, 10, 10, 0});
    QVERIFY(w.show());
    QTRY_VERIFY_WITH_TIMEOUT(bars.isInitialized(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(w.chart->chartRect().width() > 1e9, 20000);
    w.chart->setZoomRect(QRectF(1e9, 0, 1.0, 10.5));
    QTRY_COMPARE_WITH_TIMEOUT(w.chart->zoomRect(), QRectF(1e9, 0, 1.0, 10.5), 20000);

    const QImage image = w.grab(QStringLiteral("hresbar"));
    // One unit spans 400 pixels: the bar covers x from 100 to 300.
    for (int y : {60, 150, 280}) {
        QVERIFY(near(image.pixelColor(95, y), Background));
        QVERIFY(near(image.pixelColor(105, y), BarColor));
        QVERIFY(near(image.pixelColor(200, y), BarColor));
        QVERIFY(near(image.pixelColor(295, y), BarColor));
        QVERIFY(near(image.pixelColor(305, y), Background));
    }
}

void RenderTest::areaFillsUnderTheData()
{
    ChartWindow w;
    AreaPlotter area;
    area.setColor(QColor(0, 0, 255, 255));
    area.setBorderEnable(false);
    area.setChartArea(w.chart);
    area.setPlotterArea(QRectF(0, 0, 8, 0));
    area.setData({0, 0, 8, 8, 0, 0, 0, 0});
    QVERIFY(w.show());
    QTRY_VERIFY_WITH_TIMEOUT(area.isInitialized(), 20000);
    w.chart->resetZoomView();
    QTRY_COMPARE_WITH_TIMEOUT(w.chart->zoomRect(), QRectF(0, 0, 8, 8.4), 20000);

    const QImage image = w.grab(QStringLiteral("area"));
    const QColor fill(0, 0, 255);
    // The fill is a strip through the bin values, so a rising edge spans bins 1..2 and a
    // falling one bins 3..4; the flat top covers x 100..150 pixels (bins 2 and 3 at 50 px).
    QVERIFY(near(image.pixelColor(125, 200), fill));
    QVERIFY(near(image.pixelColor(125, 30), fill));
    QVERIFY(near(image.pixelColor(125, 10), Background));
    QVERIFY(near(image.pixelColor(300, 150), Background));
    QVERIFY(near(image.pixelColor(20, 150), Background));
}

void RenderTest::throttledChangeIsDrawnLater()
{
    ChartWindow w;
    BarPlotterDx bars;
    bars.setColor(BarColor);
    bars.setChartArea(w.chart);
    bars.setData({1, 10, 1, 0});
    QVERIFY(w.show());
    QTRY_VERIFY_WITH_TIMEOUT(bars.isInitialized(), 20000);
    w.chart->resetZoomView();
    QTRY_COMPARE_WITH_TIMEOUT(w.chart->zoomRect(), QRectF(0, 0, 2, 10.5), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(bars.dirtyFlags(), 0u, 20000);

    const unsigned interval = 4000;
    w.chart->setUpdateIntervalMs(interval);
    QTest::qWait(int(interval) + 200);  // whatever came before is out of the interval
    const quint64 before = w.chart->updateCount();
    QElapsedTimer sinceFirst;
    sinceFirst.start();
    bars.setData({1, 10, 1, 3});
    QCOMPARE(w.chart->updateCount(), before + 1);
    // Let that frame be drawn, then change again inside the interval.
    while (bars.dirtyFlags() != 0u && sinceFirst.elapsed() < interval - 500)
        QTest::qWait(20);
    if (bars.dirtyFlags() != 0u)
        QSKIP("The machine was too slow to draw a frame inside the interval.");
    bars.setData({1, 10, 1, 7});
    if (sinceFirst.elapsed() >= interval)
        QSKIP("The machine was too slow to change the data inside the interval.");
    QCOMPARE(w.chart->updateCount(), before + 1);
    QVERIFY(bars.dirtyFlags() != 0u);

    // Nothing else asks for a repaint: only the deferred request can draw the newest data.
    QTRY_COMPARE_WITH_TIMEOUT(w.chart->updateCount(), before + 2, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(bars.dirtyFlags(), 0u, 20000);
    const QImage image = w.grab(QStringLiteral("deferred"));
    // Bar 1 at 7 of 10.5 reaches y = 100 of 300.
    QVERIFY(near(image.pixelColor(300, 110), BarColor));
    QVERIFY(near(image.pixelColor(300, 90), Background));
}

void RenderTest::exportWritesTheImage()
{
    ChartWindow w(200, 100);
    BarPlotterDx bars;
    bars.setColor(BarColor);
    bars.setChartArea(w.chart);
    bars.setData({1, 1, 1, 0});
    QVERIFY(w.show());
    QTRY_VERIFY_WITH_TIMEOUT(bars.isInitialized(), 20000);
    w.chart->resetZoomView();

    QSignalSpy finished(w.chart, &ChartArea::exportFinished);
    const QString png = artifact(QStringLiteral("export.png"));
    const QString jpg = artifact(QStringLiteral("export.jpg"));
    QFile::remove(png);
    QFile::remove(jpg);
    w.chart->exportImage(png);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
    QCOMPARE(finished.at(0).at(0).toString(), png);
    QVERIFY(finished.at(0).at(1).toBool());
    QImage saved(png);
    QCOMPARE(saved.size(), QSize(400, 200));
    QVERIFY(near(saved.pixelColor(100, 190), BarColor));

    w.chart->exportImage(jpg);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 20000);
    QVERIFY(finished.at(1).at(1).toBool());
    QCOMPARE(QImageReader(jpg).format(), QByteArray("jpeg"));

    const QString missing = QStringLiteral("/nonexistent-folder-for-chart-test/x.png");
    w.chart->exportImage(missing);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 3, 20000);
    QVERIFY2(!finished.at(2).at(1).toBool(), "a failed write is reported as a failure");
    QVERIFY(!finished.at(2).at(2).toString().isEmpty());
}

void RenderTest::zoomByDragAndPan()
{
    QQuickView view;
    view.engine()->addImportPath(QStringLiteral(CHARTELLE_QML_IMPORT_DIR));
    view.setColor(Background);
    view.setResizeMode(QQuickView::SizeRootObjectToView);
    view.resize(800, 500);
    view.setSource(QUrl::fromLocalFile(QFINDTESTDATA("scenes/ZoomScene.qml")));
    QVERIFY2(view.status() == QQuickView::Ready, qPrintable(view.errors().isEmpty() ? QString() : view.errors().first().toString()));
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

    // The legend lists the chart's plotter; the whole view exports to a file.
    QVariant legend;
    QVERIFY(QMetaObject::invokeMethod(plot, "legendPlotters", Q_RETURN_ARG(QVariant, legend)));
    QCOMPARE(legend.toList().size(), 1);
    QSignalSpy exported(plot, SIGNAL(exportComplete(QString)));
    const QString path = artifact(QStringLiteral("splot-export.png"));
    QFile::remove(path);
    QVERIFY(QMetaObject::invokeMethod(plot, "exportImage", Q_ARG(QVariant, path), Q_ARG(QVariant, 2)));
    QTRY_COMPARE_WITH_TIMEOUT(exported.count(), 1, 20000);
    QCOMPARE(exported.at(0).at(0).toString(), path);
    QCOMPARE(QImage(path).size(), QSize(1600, 1000));
}

void RenderTest::hoverHighlightFades()
{
    ChartWindow w;
    BarPlotterDx bars;
    bars.setColor(BarColor);
    bars.setChartArea(w.chart);
    bars.setData({1, 10, 1, 10});
    BarDecorator deco;
    deco.setDrawLayer(2);
    deco.setChartArea(w.chart);
    deco.addPlotter(&bars);
    QVERIFY(w.show());
    QTRY_VERIFY_WITH_TIMEOUT(bars.isInitialized(), 20000);
    w.chart->resetZoomView();
    QTRY_COMPARE_WITH_TIMEOUT(w.chart->zoomRect(), QRectF(0, 0, 2, 10.5), 20000);

    deco.setActive(true);
    deco.setMouseX(100);
    deco.setMouseY(200);
    QCOMPARE(deco.infoMap().size(), 1);
    QImage image = w.grab(QStringLiteral("hover"));
    QVERIFY2(!near(image.pixelColor(100, 200), BarColor, 20), "the hovered bar is highlighted");
    QVERIFY(near(image.pixelColor(300, 200), BarColor, 20));

    // Leaving the chart releases the highlight; it fades out within its fade time.
    deco.setActive(false);
    QTRY_VERIFY_WITH_TIMEOUT(near(w.window.grabWindow().pixelColor(100, 200), BarColor, 20), 20000);
    w.grab(QStringLiteral("hover-faded"));
}

QTEST_MAIN(RenderTest)
#include "rendertest.moc"
