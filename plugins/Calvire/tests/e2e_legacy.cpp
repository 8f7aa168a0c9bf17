// The legacy histogram plugin end to end: its settings view (a table, or a swipe list) sets the
// channels of a correlated pair, edits the ticked rows together and saves and loads its
// parameters, a chart view shows the histogram with its card and chosen columns, on a linear
// and a logarithmic axis, and exports itself, the settings view marks the histogram shown in a
// chart view, and a time-trigger run of three windows, chosen as a time interval, writes its
// files and counts them.
#include "e2ekit.h"

#include <QDir>
#include <QFile>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <cmath>

namespace e2e {

namespace {
const QString kView = QStringLiteral("bar-chart");
constexpr int kRunTimeoutMs = 60000;

QString textOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

int blocksIn(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return QString::fromUtf8(file.readAll()).count(QStringLiteral("# ---------- Histogram"));
}

bool runFirst(Kit &kit)
{
    if (!kit.waitForMainWindow() || !kit.connectBoard(QStringLiteral("01_home")))
        return false;
    // Wide enough for every column of the settings table.
    kit.window()->resize(1600, 800);
    QQuickItem *settings = kit.viewItem(kView);
    if (!kit.check(settings != nullptr, QStringLiteral("the legacy histogram view is added after connection")))
        return false;
    kit.eval(QStringLiteral("setViewByUUID('%1')").arg(kView));

    // Channel 2 receives half of channel 1's pulses 12 ns later.
    QQuickItem *card = kit.findItem(settings, QStringLiteral("legacyRow0"));
    if (!kit.check(card != nullptr, QStringLiteral("the settings table shows the legacy histogram")))
        return false;
    kit.evalIn(card, QStringLiteral("(hist.setRefCH(1, 1), hist.setMeasCH(2, 1))"));
    kit.waitUntil(QStringLiteral("dictView['%1'].tdcModelData[0].refCH === 1 && dictView['%1'].tdcModelData[0].measCH === 2")
                      .arg(kView), 10000, QStringLiteral("the channels reach the board"));
    kit.click(kit.findItem(card, QStringLiteral("activeSwitch")));
    kit.click(kit.findItem(card, QStringLiteral("autopushSwitch")));
    kit.waitUntil(QStringLiteral("dictView['%1'].tdcModelData[0].isActive && dictView['%1'].tdcModelData[0].autopush").arg(kView),
                  5000, QStringLiteral("ENABLE and AUTO PUSH switch the histogram on"));
    // A ticked row's edit reaches every ticked row.
    kit.click(kit.findItem(kit.window(), QStringLiteral("selectAllBox")));
    kit.check(kit.evalIn(settings, QStringLiteral("selection.length")).toInt() == kit.evalIn(settings, QStringLiteral("models.length")).toInt(),
              QStringLiteral("the header box ticks every row"));
    kit.typeInto(kit.findItem(card, QStringLiteral("binWidthField")), QStringLiteral("32 ps"));
    kit.waitUntil(QStringLiteral("Math.round(dictView['%1'].tdcModelData[0].binWidth * 1e12) === 32").arg(kView), 10000,
                  QStringLiteral("the bin width typed in the table reaches the board"));
    QTest::qWait(1500);
    kit.screenshot(QStringLiteral("02_settings"));
    kit.click(kit.findItem(kit.window(), QStringLiteral("selectAllBox")));

    // The swipe list, from the third top-bar button, and back.
    kit.waitUntil(QStringLiteral("messages.count === 0"), 20000, QStringLiteral("the connection message has gone"));
    kit.click(kit.findItem(kit.window(), QStringLiteral("topBarButton2")));
    kit.waitFor([&] { return kit.evalIn(settings, QStringLiteral("listMode")).toBool(); }, 5000,
                QStringLiteral("\"List view\" shows the swipe list"));
    QTest::qWait(800);
    kit.check(kit.findItem(settings, QStringLiteral("legacyPage0")) != nullptr, QStringLiteral("a page per histogram"));
    kit.screenshot(QStringLiteral("02a_swipe_list"));
    kit.click(kit.findItem(kit.window(), QStringLiteral("topBarButton2")));
    kit.waitFor([&] { return !kit.evalIn(settings, QStringLiteral("listMode")).toBool(); }, 5000,
                QStringLiteral("\"Grid view\" shows the table again"));

    // Parameters: the save dialog from the top bar, a file written, changed and read back.
    kit.waitUntil(QStringLiteral("messages.count === 0"), 20000, QStringLiteral("the connection message has gone"));
    kit.click(kit.findItem(kit.window(), QStringLiteral("topBarButton1")));
    kit.waitFor([&] { return kit.evalIn(settings, QStringLiteral("saveDialog.visible")).toBool(); }, 5000,
                QStringLiteral("\"Save parameters in file\" opens the save dialog"));
    QTest::qWait(400);
    kit.screenshot(QStringLiteral("02b_save_dialog"));
    kit.evalIn(settings, QStringLiteral("saveDialog.close()"));
    const QString params = kit.artifactPath(QStringLiteral("legacyParams.json"));
    kit.check(kit.evalIn(settings, QStringLiteral("saveParameters('%1', 'legacyParams')").arg(kit.artifactDir())).toBool(),
              QStringLiteral("the parameters are saved"));
    const QString saved = textOf(params);
    kit.check(saved.contains(QStringLiteral("\"measCH\": 2")) && saved.contains(QStringLiteral("\"binWidth\"")),
              QStringLiteral("the file holds the histogram's channels and bin width: %1").arg(saved.left(200)));
    {
        QString changed = saved;
        changed.replace(QStringLiteral("\"measCH\": 2"), QStringLiteral("\"measCH\": 3"));
        QFile file(params);
        kit.check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(changed.toUtf8()) > 0,
                  QStringLiteral("the parameter file is changed"));
    }
    kit.evalIn(settings, QStringLiteral("loadParameters('%1')").arg(params));
    kit.waitUntil(QStringLiteral("dictView['%1'].tdcModelData[0].measCH === 3").arg(kView), 10000,
                  QStringLiteral("loading the file sets the measurement channel"));
    kit.evalIn(settings, QStringLiteral("loadParameters('%1')").arg(kit.artifactPath(QStringLiteral("missing.json"))));
    kit.waitUntil(QStringLiteral("messages.count > 0"), 5000, QStringLiteral("a missing file gives a message"));
    QTest::qWait(300);
    kit.screenshot(QStringLiteral("02c_load_error"));
    kit.evalIn(card, QStringLiteral("hist.setMeasCH(2, 1)"));
    kit.waitUntil(QStringLiteral("dictView['%1'].tdcModelData[0].measCH === 2").arg(kView), 10000,
                  QStringLiteral("the channel goes back"));
    kit.click(kit.findItem(card, QStringLiteral("copyButton")));
    kit.waitFor([&] { return kit.evalIn(settings, QStringLiteral("copyDialog.visible")).toBool(); }, 5000,
                QStringLiteral("COPY opens the copy dialog"));
    QTest::qWait(400);
    kit.screenshot(QStringLiteral("02d_copy_dialog"));
    kit.evalIn(settings, QStringLiteral("copyDialog.close()"));
    kit.waitFor([&] { return !kit.evalIn(settings, QStringLiteral("copyDialog.visible")).toBool(); }, 5000,
                QStringLiteral("the copy dialog closes"));
    QTest::qWait(500);

    // A chart view of the histogram from its row's chart menu.
    kit.waitUntil(QStringLiteral("messages.count === 0"), 20000, QStringLiteral("the messages have gone"));
    kit.click(kit.findItem(card, QStringLiteral("chartButton")));
    QQuickItem *newView = nullptr;
    kit.waitFor([&] { return (newView = kit.findItem(kit.window(), QStringLiteral("newChartViewItem"))) != nullptr
                             && newView->isVisible(); }, 5000, QStringLiteral("the chart button opens its menu"));
    QTest::qWait(400);
    kit.screenshot(QStringLiteral("02e_chart_menu"));
    kit.click(newView);
    QQuickItem *chart = nullptr;
    kit.waitFor([&] { return (chart = kit.findItem(kit.window(), QStringLiteral("legacyChartView"))) != nullptr; },
                10000, QStringLiteral("\"New ChartView\" opens a chart view"));
    if (!chart)
        return false;
    kit.check(kit.evalIn(chart, QStringLiteral("histModels.length")).toInt() == 1,
              QStringLiteral("the chart view shows the histogram"));
    kit.waitUntil(QStringLiteral("dictView['%1'].tdcModelData[0].integrationEvent > 50").arg(kView), 30000,
                  QStringLiteral("the histogram fills"));
    const double mean = kit.eval(QStringLiteral("dictView['%1'].tdcModelData[0].mean").arg(kView)).toDouble();
    kit.check(std::abs(mean - 12e-9) < 1.5e-9, QStringLiteral("the mean sits at the pair's 12 ns delay (%1 s)").arg(mean));
    // The column chooser: one column off with its close icon, and back from the "+" menu.
    kit.click(kit.findItem(chart, QStringLiteral("removeColumn_EVENTS")));
    kit.check(kit.evalIn(chart, QStringLiteral("columns.join(',')")).toString() == QLatin1String("MEAN,STD,RATE,TIME"),
              QStringLiteral("the close icon removes the EVENTS column"));
    kit.click(kit.findItem(chart, QStringLiteral("addColumnButton")));
    QTest::qWait(400);
    kit.screenshot(QStringLiteral("03a_column_menu"));
    kit.evalIn(chart, QStringLiteral("addColumn('EVENTS')"));
    QTest::keyClick(kit.window(), Qt::Key_Escape);
    QTest::qWait(1000);
    kit.screenshot(QStringLiteral("03_chart"));
    kit.click(kit.findItem(chart, QStringLiteral("logScaleBox")));
    kit.check(kit.evalIn(chart, QStringLiteral("plot.isYAxisLog && bars[0].logScale")).toBool(),
              QStringLiteral("Log scale puts the bars on a logarithmic axis"));
    QTest::qWait(1200);
    kit.screenshot(QStringLiteral("03c_chart_log"));
    kit.click(kit.findItem(chart, QStringLiteral("logScaleBox")));

    const QString chartUuid = kit.evalIn(settings, QStringLiteral("getExistingChartViews()[0].uuid")).toString();
    kit.check(!chartUuid.isEmpty(), QStringLiteral("the chart view is listed"));
    // Back in the settings view, the row says that a chart view shows the running histogram.
    kit.eval(QStringLiteral("setViewByUUID('%1')").arg(kView));
    kit.waitFor([&] { return kit.evalIn(card, QStringLiteral("shownInChart")).toBool(); }, 5000,
                QStringLiteral("the row marks the histogram active in a chart view"));
    QQuickItem *dot = kit.findItem(card, QStringLiteral("chartIndicator"));
    kit.check(dot != nullptr && dot->isVisible(), QStringLiteral("the indicator is shown"));
    if (dot)
        QTest::mouseMove(kit.window(), dot->mapToScene(QPointF(5, 5)).toPoint());
    QTest::qWait(1200);
    kit.screenshot(QStringLiteral("03d_settings_indicator"));
    kit.eval(QStringLiteral("setViewByUUID('%1')").arg(chartUuid));
    kit.waitFor([&] { return chart->isVisible(); }, 5000, QStringLiteral("back in the chart view"));
    QTest::qWait(800);

    // Save chart: the export dialog, then one image and one text file into a new folder.
    kit.click(kit.findItem(kit.window(), QStringLiteral("topBarButton0")));
    kit.waitFor([&] { return kit.evalIn(chart, QStringLiteral("exportDialog.visible")).toBool(); }, 5000,
                QStringLiteral("\"Save chart\" opens the export dialog"));
    QTest::qWait(400);
    kit.screenshot(QStringLiteral("03b_export_dialog"));
    kit.evalIn(chart, QStringLiteral("exportDialog.close()"));
    // The closing dialog's overlay takes clicks until it is gone.
    kit.waitFor([&] { return !kit.evalIn(chart, QStringLiteral("exportDialog.visible")).toBool(); }, 5000,
                QStringLiteral("the export dialog closes"));
    QTest::qWait(500);
    const QString exported =
        kit.evalIn(chart, QStringLiteral("exportChart('%1', 'chart', ['.png', '.csv'], false)").arg(kit.artifactDir())).toString();
    kit.check(exported == kit.artifactPath(QStringLiteral("chart")) || exported.startsWith(kit.artifactPath(QStringLiteral("chart_"))),
              QStringLiteral("the export makes its own folder (%1)").arg(exported));
    kit.waitFor([&] { return QFile(exported + QStringLiteral("/chart.png")).size() > 0; }, 10000,
                QStringLiteral("the chart image is written"));
    kit.check(blocksIn(exported + QStringLiteral("/chart_") + kit.eval(QStringLiteral("dictView['%1'].tdcModelData[0].name").arg(kView)).toString()
                       + QStringLiteral(".csv")) == 1,
              QStringLiteral("one text file per histogram"));

    // The time-trigger panel: three windows of one second, as a time interval of 3 s, CSV and
    // PNG, into the artifacts.
    kit.click(kit.findItem(kit.window(), QStringLiteral("topBarButton2")));
    QQuickItem *panel = nullptr;
    kit.waitFor([&] { return (panel = kit.findItem(chart, QStringLiteral("legacyTimeTriggerPanel"))) != nullptr; },
                10000, QStringLiteral("the top bar shows the time-trigger panel"));
    if (!panel)
        return false;
    const QString folder = kit.artifactPath(QStringLiteral("run.files"));
    QDir().mkpath(folder);
    kit.typeInto(kit.findItem(panel, QStringLiteral("ttFolder")), folder);
    kit.typeInto(kit.findItem(panel, QStringLiteral("ttFileName")), QStringLiteral("legacy"));
    kit.click(kit.findItem(panel, QStringLiteral("ttPng")));
    kit.click(kit.findItem(panel, QStringLiteral("ttIntervalMode")));
    kit.typeInto(kit.findItem(panel, QStringLiteral("ttTotalField")), QStringLiteral("3s"));
    kit.check(kit.evalIn(panel, QStringLiteral("chosenRepetition")).toInt() == 3,
              QStringLiteral("3 s of one-second windows are three windows"));
    kit.check(kit.evalIn(panel, QStringLiteral("chosenExtensions().join(',')")).toString() == QLatin1String(".png,.csv"),
              QStringLiteral("PNG and CSV are chosen"));
    kit.screenshot(QStringLiteral("04_time_trigger"));
    kit.click(kit.findItem(panel, QStringLiteral("ttStartButton")));
    kit.waitUntil(QStringLiteral("dictView['%1'].tdcModelData[0].isTimeTrigActive").arg(kView), 10000,
                  QStringLiteral("START arms the histogram's time trigger"));
    QTest::qWait(500);
    kit.screenshot(QStringLiteral("05_running"));
    kit.waitFor([&] { return !kit.evalIn(panel, QStringLiteral("running")).toBool(); }, kRunTimeoutMs,
                QStringLiteral("the run ends by itself after three windows"));
    const QString dir = folder + QStringLiteral("/legacy");
    for (int window = 0; window < 3; ++window) {
        const QString csv = dir + QStringLiteral("/legacy%1.csv").arg(window);
        kit.check(blocksIn(csv) == 1, QStringLiteral("window %1 has its CSV with one block").arg(window));
        kit.check(QFile(dir + QStringLiteral("/legacy%1.png").arg(window)).size() > 0,
                  QStringLiteral("window %1 has its image").arg(window));
    }
    kit.check(!QFile::exists(dir + QStringLiteral("/legacy3.csv")), QStringLiteral("no fourth window is written"));
    kit.check(kit.evalIn(panel, QStringLiteral("ttModel.windowsSaved")).toInt() == 3,
              QStringLiteral("the panel counts three windows saved"));
    kit.check(kit.evalIn(panel, QStringLiteral("ttModel.savedFilesSize")).toLongLong() > 0,
              QStringLiteral("and the bytes they hold"));
    kit.screenshot(QStringLiteral("06_done"));
    if (!kit.disconnectBoard())
        return false;
    return kit.passedSoFar();
}

} // namespace

bool runScenario(Kit &kit)
{
    if (kit.phase() == QLatin1String("first"))
        return runFirst(kit);
    return kit.check(false, QStringLiteral("known phase (\"first\"), not \"%1\"").arg(kit.phase()));
}

} // namespace e2e
