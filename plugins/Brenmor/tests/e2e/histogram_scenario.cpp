// The histogram plugin end to end, as a user works with it: set up, rename and switch a
// histogram between the virtual board's correlated pair 1 → 2, watch its peak in a chart view,
// align it, read its axis in another unit, export the chart, load a parameter file and record a
// time-trigger series of 20 windows.
#include "e2ekit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QUrl>

#include <cmath>

namespace e2e {

namespace {
const QString kSettingsView = QStringLiteral("qrc:/plugin/histogrammermodule/img/histogram_icon.png");
// The default board profile delays channel 2 after channel 1 by 12 ns (jitter 100 ps).
constexpr double kPairDelay = 12e-9;
constexpr double kBinWidth = 100e-12;
constexpr int kDataTimeoutMs = 30000;
constexpr int kWindows = 20;

QString quoted(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
}

class Scenario {
public:
    explicit Scenario(Kit &kit) : kit_(kit) {}

    bool run()
    {
        if (!kit_.waitForMainWindow() || !kit_.connectBoard(QStringLiteral("01_home"), kSettingsView))
            return false;
        kit_.window()->resize(1600, 940);
        kit_.eval(QStringLiteral("setViewByUUID(%1)").arg(quoted(kSettingsView)));
        settings_ = kit_.viewItem(kSettingsView);
        if (!kit_.check(settings_ != nullptr, QStringLiteral("the histogram view is shown")))
            return false;
        return setUpHistogram() && watchPeak() && align() && exportChart() && loadParameters()
            && timeTriggerSeries() && finish();
    }

private:
    QVariant hist(const QString &expression) { return kit_.evalIn(settings_, QStringLiteral("models[0].") + expression); }
    double histNumber(const QString &expression) { return hist(expression).toDouble(); }

    bool waitHist(const QString &expression, const QString &what, int timeoutMs = kDataTimeoutMs)
    {
        return kit_.waitFor([&] { return kit_.evalIn(settings_, expression).toBool(); }, timeoutMs, what);
    }

    // Waits until the counts shown have their highest bin where the pair's delay falls with the
    // current bounds: a block counted after the last change, not one from before it.
    bool waitFreshPeak(const QString &what)
    {
        const double bin = (kPairDelay - histNumber(QStringLiteral("leftBound"))) / histNumber(QStringLiteral("binWidth"));
        const QString argmax = QStringLiteral(
            "(function(d) { var m = 0; for (var i = 1; i < d.length; ++i) if (d[i] > d[m]) m = i;"
            " return d.length > 0 && d[m] > 20 && Math.abs(m - (%1)) <= 3; })(models[0].dataContainer.data)").arg(bin);
        return waitHist(argmax, what);
    }

    // Start CH1 rising, stop CH2 rising, 0 … 20 ns in bins of 100 ps, a block a second, typed
    // into the row.
    bool setUpHistogram()
    {
        QQuickItem *row = nullptr;
        kit_.waitFor([&] { return (row = kit_.findItem(settings_, QStringLiteral("histogramRow0"))) != nullptr; },
                     kDataTimeoutMs, QStringLiteral("the settings table shows the first histogram"));
        if (!row)
            return false;
        kit_.evalIn(kit_.findItem(row, QStringLiteral("refMenu")), QStringLiteral("activated(1)"));
        kit_.evalIn(kit_.findItem(row, QStringLiteral("measMenu")), QStringLiteral("activated(2)"));
        if (!waitHist(QStringLiteral("models[0].refCH === 1 && models[0].refPolarity === 1"
                                     " && models[0].measCH === 2 && models[0].measPolarity === 1"),
                      QStringLiteral("the channel menus set start CH1 R and stop CH2 R")))
            return false;
        kit_.typeInto(kit_.findItem(row, QStringLiteral("binWidthField")), QStringLiteral("100 ps"));
        waitHist(QStringLiteral("Math.abs(models[0].binWidth - 100e-12) < 1e-15"), QStringLiteral("the bin width is 100 ps"));
        kit_.typeInto(kit_.findItem(row, QStringLiteral("rightField")), QStringLiteral("20 ns"));
        waitHist(QStringLiteral("Math.abs(models[0].rightBound - 20e-9) < 1e-15"), QStringLiteral("the right bound is 20 ns"));
        kit_.typeInto(kit_.findItem(row, QStringLiteral("leftField")), QStringLiteral("0 ns"));
        waitHist(QStringLiteral("Math.abs(models[0].leftBound) < 1e-15"), QStringLiteral("the left bound is 0"));
        // One block a second: each block holds the counts of its own window.
        kit_.typeInto(kit_.findItem(row, QStringLiteral("periodField")), QStringLiteral("1 s"));
        waitHist(QStringLiteral("models[0].refreshPeriod === 1000"), QStringLiteral("the refresh period is 1 s"));
        kit_.typeInto(kit_.findItem(row, QStringLiteral("binWidthField")), QStringLiteral("-1 ns"));
        kit_.check(std::abs(histNumber(QStringLiteral("binWidth")) - kBinWidth) < 1e-15,
                   QStringLiteral("a negative bin width is refused"));
        kit_.evalIn(kit_.findItem(row, QStringLiteral("binWidthField")), QStringLiteral("showValue()"));

        // The name goes into file names: one with a slash is refused, a plain one is taken.
        QQuickItem *nameField = kit_.findItem(row, QStringLiteral("nameField"));
        kit_.typeInto(nameField, QStringLiteral("ch1/ch2"));
        kit_.check(hist(QStringLiteral("name")).toString() != QLatin1String("ch1/ch2")
                       && !kit_.evalIn(nameField, QStringLiteral("error")).toString().isEmpty(),
                   QStringLiteral("a name with a slash is refused"));
        kit_.evalIn(nameField, QStringLiteral("showName()"));
        kit_.typeInto(nameField, QStringLiteral("Pair 1-2"));
        waitHist(QStringLiteral("models[0].name === 'Pair 1-2'"), QStringLiteral("the histogram is renamed in place"));
        // Accumulate: every block holds the running total; multi-hit on and off again.
        kit_.click(kit_.findItem(row, QStringLiteral("multiHitSwitch")));
        waitHist(QStringLiteral("models[0].multiHit"), QStringLiteral("MULTI HIT switches multi-hit on"), 5000);
        kit_.click(kit_.findItem(row, QStringLiteral("multiHitSwitch")));
        waitHist(QStringLiteral("!models[0].multiHit"), QStringLiteral("and off again"), 5000);
        kit_.click(kit_.findItem(row, QStringLiteral("accumulateSwitch")));
        waitHist(QStringLiteral("models[0].accumulate"), QStringLiteral("ACCUMULATE switches accumulation on"), 5000);
        kit_.click(kit_.findItem(row, QStringLiteral("activeSwitch")));
        if (!waitHist(QStringLiteral("models[0].isActive"), QStringLiteral("the switch starts the histogram")))
            return false;
        waitHist(QStringLiteral("models[0].integrationEvent > 100"), QStringLiteral("counts arrive"));
        // With accumulate on, the next block holds the previous one's counts and more.
        const double first = histNumber(QStringLiteral("integrationEvent"));
        waitHist(QStringLiteral("models[0].integrationEvent > %1").arg(first, 0, 'f', 0),
                 QStringLiteral("accumulated counts grow from block to block"));
        kit_.click(kit_.findItem(row, QStringLiteral("accumulateSwitch")));
        waitHist(QStringLiteral("!models[0].accumulate"), QStringLiteral("ACCUMULATE switches accumulation off"), 5000);
        waitHist(QStringLiteral("models[0].integrationEvent > 100"), QStringLiteral("counts arrive, one window each"));
        // The connection message goes after five seconds; the picture is clearer without it, and
        // without the tooltip of the last switch clicked.
        QTest::mouseMove(kit_.window(), QPoint(kit_.window()->width() / 2, kit_.window()->height() - 20));
        QTest::qWait(3000);
        kit_.screenshot(QStringLiteral("02_settings"));
        // The same controls as a page per histogram, with captions.
        kit_.eval(QStringLiteral("dictView[%1].btn2Fired()").arg(quoted(kSettingsView)));
        if (kit_.waitFor([&] { return kit_.evalIn(settings_, QStringLiteral("listMode")).toBool(); }, 5000,
                         QStringLiteral("the third top-bar button shows the list of pages"))) {
            QTest::qWait(600);
            kit_.screenshot(QStringLiteral("02b_list_view"));
        }
        kit_.eval(QStringLiteral("dictView[%1].btn2Fired()").arg(quoted(kSettingsView)));
        kit_.waitFor([&] { return !kit_.evalIn(settings_, QStringLiteral("listMode")).toBool(); }, 5000,
                     QStringLiteral("and back to the table"));
        return true;
    }

    bool watchPeak()
    {
        chartUuid_ = kit_.evalIn(settings_, QStringLiteral("showInChartView(models[0], null)")).toString();
        chart_ = chartUuid_.isEmpty() ? nullptr : kit_.viewItem(chartUuid_);
        if (!kit_.check(chart_ != nullptr, QStringLiteral("a chart view opens with the histogram")))
            return false;
        kit_.check(kit_.evalIn(chart_, QStringLiteral("histModels.length === 1 && histModels[0].numGroups === 1")).toBool(),
                   QStringLiteral("the chart view counts as showing the histogram"));
        if (!waitFreshPeak(QStringLiteral("the histogram fills")))
            return false;
        const double peak = histNumber(QStringLiteral("peak"));
        kit_.check(std::abs(peak - kPairDelay) <= kBinWidth,
                   QStringLiteral("the peak (%1 s) sits at the pair's delay of 12 ns within one bin").arg(peak));
        kit_.check(histNumber(QStringLiteral("fwhm")) > 0 && histNumber(QStringLiteral("fwhm")) < 1e-9,
                   QStringLiteral("the peak is narrow (FWHM %1 s)").arg(histNumber(QStringLiteral("fwhm"))));
        QTest::qWait(500);
        kit_.screenshot(QStringLiteral("03_chart_peak"));
        return true;
    }

    bool align()
    {
        QQuickItem *button = kit_.findItem(chart_, QStringLiteral("alignButton"));
        if (!kit_.check(button != nullptr, QStringLiteral("the histogram's card offers Align")))
            return false;
        const double expected = histNumber(QStringLiteral("peak")) - histNumber(QStringLiteral("windowFSR")) / 2;
        kit_.click(button);
        if (!waitHist(QStringLiteral("Math.abs(models[0].timeOffset - (%1)) < 1e-10").arg(expected, 0, 'g', 17),
                      QStringLiteral("Align moves the window")))
            return false;
        // Snapping the bounds to the bin grid may widen the window by a bin on each side.
        const double width = histNumber(QStringLiteral("windowFSR"));
        kit_.check(std::abs(width - 20e-9) <= 2 * kBinWidth + 1e-15,
                   QStringLiteral("Align keeps the window width (%1 s)").arg(width));
        // The change restarts the accumulation: wait for a histogram counted in the new window.
        if (!waitFreshPeak(QStringLiteral("the aligned histogram fills")))
            return false;
        const double centre = histNumber(QStringLiteral("leftBound")) + histNumber(QStringLiteral("windowFSR")) / 2;
        const double peak = histNumber(QStringLiteral("peak"));
        kit_.check(std::abs(peak - centre) <= kBinWidth,
                   QStringLiteral("after Align the peak (%1 s) is in the middle of the window (%2 s)").arg(peak).arg(centre));
        kit_.check(std::abs(peak - kPairDelay) <= kBinWidth, QStringLiteral("the peak stays at the pair's delay"));
        QTest::mouseMove(kit_.window(), QPoint(kit_.window()->width() / 2, 20));
        QTest::qWait(500);
        kit_.screenshot(QStringLiteral("04_aligned"));
        return axisUnits();
    }

    // The axis in metres of a signal at 0.2 m/ns: the peak at 12 ns reads 2.4 m.
    bool axisUnits()
    {
        kit_.typeInto(kit_.findItem(chart_, QStringLiteral("axisUnitFieldText")), QStringLiteral("m"));
        kit_.typeInto(kit_.findItem(chart_, QStringLiteral("axisFactorFieldText")), QStringLiteral("0"));
        kit_.check(kit_.evalIn(chart_, QStringLiteral("ttModel.convFactor")).toDouble() == 1.0,
                   QStringLiteral("a factor of 0 is refused"));
        kit_.typeInto(kit_.findItem(chart_, QStringLiteral("axisFactorFieldText")), QStringLiteral("2e8"));
        kit_.check(kit_.evalIn(chart_, QStringLiteral("ttModel.unit === 'm' && ttModel.convFactor === 2e8")).toBool(),
                   QStringLiteral("the chart view takes the unit m and the factor 2e8"));
        const QString label = kit_.evalIn(chart_, QStringLiteral("plot.xAxis.label(12e-9)")).toString();
        kit_.check(label == QLatin1String("2.40 m"), QStringLiteral("12 ns reads %1 on the axis").arg(label));
        QQuickItem *peakCell = kit_.findItem(chart_, QStringLiteral("cell_PEAK"));
        const QString peakText = peakCell ? peakCell->property("text").toString() : QString();
        kit_.check(peakText.endsWith(QLatin1String(" m")) && std::abs(peakText.split(' ').first().toDouble() - 2.4) < 0.03,
                   QStringLiteral("the PEAK column reads %1").arg(peakText));
        kit_.evalIn(chart_, QStringLiteral("forceActiveFocus()"));
        QTest::qWait(500);
        kit_.screenshot(QStringLiteral("04b_axis_units"));
        kit_.typeInto(kit_.findItem(chart_, QStringLiteral("axisUnitFieldText")), QStringLiteral("s"));
        kit_.typeInto(kit_.findItem(chart_, QStringLiteral("axisFactorFieldText")), QStringLiteral("1"));
        return kit_.check(kit_.evalIn(chart_, QStringLiteral("plot.xAxis.label(12e-9)")).toString() == QLatin1String("12.00 ns"),
                          QStringLiteral("back to seconds"));
    }

    bool exportChart()
    {
        kit_.evalIn(chart_, QStringLiteral("exportDialog.open()"));
        QTest::qWait(400);
        kit_.screenshot(QStringLiteral("05_export_dialog"));
        kit_.evalIn(chart_, QStringLiteral("exportDialog.close()"));
        const QString name = hist(QStringLiteral("name")).toString();
        const QString dir = kit_.evalIn(chart_, QStringLiteral("exportChart(%1, 'Chart', ['.png', '.csv'], false, false)")
                                                     .arg(quoted(kit_.artifactDir()))).toString();
        if (!kit_.check(dir == kit_.artifactPath(QStringLiteral("Chart")), QStringLiteral("the export makes the folder Chart")))
            return false;
        const QString png = dir + QStringLiteral("/Chart.png");
        const QString csv = dir + QStringLiteral("/Chart_") + name + QStringLiteral(".csv");
        kit_.waitFor([&] { return QFileInfo(png).size() > 0; }, kDataTimeoutMs, QStringLiteral("the chart image is written"));
        const QStringList lines = readLines(csv);
        kit_.check(lines.size() >= 200 + 4 && lines.first() == QStringLiteral("# ---------- %1 ---------- #").arg(name)
                       && lines.at(1) == QStringLiteral("# Bin value [s], Counts"),
                   QStringLiteral("the CSV holds the histogram's 200 bins under its title (%1 lines)").arg(lines.size()));
        const QString visible = kit_.evalIn(chart_, QStringLiteral("exportChart(%1, 'Chart', ['.csv'], true, false)")
                                                         .arg(quoted(kit_.artifactDir()))).toString();
        kit_.check(visible == kit_.artifactPath(QStringLiteral("Chart_1"))
                       && QFileInfo(visible + QStringLiteral("/Chart_") + name + QStringLiteral(".csv")).size() > 0,
                   QStringLiteral("a second export goes to Chart_1 with the visible range"));
        return true;
    }

    bool loadParameters()
    {
        const QString path = kit_.artifactPath(QStringLiteral("histConfig.json"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return kit_.check(false, QStringLiteral("the parameter file can be written"));
        file.write(R"([
    {
        "name": "Start-Stop",
        "refPolarity": 1,
        "refCH": 1,
        "measPolarity": 1,
        "measCH": 2,
        "leftBound": 2e-09,
        "rightBound": 2.2e-08,
        "binWidth": 5e-11,
        "refreshPeriod": 100
    }
]
)");
        file.close();
        kit_.eval(QStringLiteral("setViewByUUID(%1)").arg(quoted(kSettingsView)));
        kit_.check(kit_.evalIn(settings_, QStringLiteral("loadParameters(%1)").arg(quoted(path))).toBool(),
                   QStringLiteral("the parameter file loads"));
        if (!waitHist(QStringLiteral("models[0].name === 'Start-Stop' && Math.abs(models[0].binWidth - 5e-11) < 1e-15"
                                     " && Math.abs(models[0].leftBound - 2e-9) < 1e-15"
                                     " && Math.abs(models[0].rightBound - 2.2e-8) < 1e-15 && models[0].refreshPeriod === 100"),
                      QStringLiteral("the first histogram takes the file's parameters")))
            return false;
        QTest::qWait(800);
        kit_.screenshot(QStringLiteral("06_parameters_loaded"));
        return true;
    }

    bool timeTriggerSeries()
    {
        kit_.eval(QStringLiteral("setViewByUUID(%1)").arg(quoted(chartUuid_)));
        kit_.eval(QStringLiteral("dictView[%1].btn2Fired()").arg(quoted(chartUuid_)));
        QQuickItem *panel = nullptr;
        kit_.waitFor([&] { return (panel = kit_.findItem(chart_, QStringLiteral("timeTriggerPanel"))) != nullptr; },
                     kDataTimeoutMs, QStringLiteral("the Time Trigger button shows the time-trigger panel"));
        if (!panel)
            return false;
        const QString folderUrl = QUrl::fromLocalFile(kit_.artifactDir()).toString();
        kit_.evalIn(panel, QStringLiteral("saveFile.folderURL = %1").arg(quoted(folderUrl)));
        kit_.evalIn(panel, QStringLiteral("saveFile.fileName = 'series'"));
        kit_.evalIn(panel, QStringLiteral("setFormat('.csv', true)"));
        kit_.evalIn(panel, QStringLiteral("refreshPeriod = 50"));
        kit_.evalIn(panel, QStringLiteral("setRepetition(%1)").arg(kWindows));
        QQuickItem *start = kit_.findItem(panel, QStringLiteral("startButton"));
        kit_.click(start);
        if (!kit_.waitFor([&] { return kit_.evalIn(panel, QStringLiteral("running")).toBool(); }, 5000,
                          QStringLiteral("START starts the run")))
            return false;
        kit_.check(start->property("text").toString() == QLatin1String("STOP"), QStringLiteral("the button then reads STOP"));
        if (!kit_.waitFor([&] { return !kit_.evalIn(panel, QStringLiteral("running")).toBool(); }, 60000,
                          QStringLiteral("the run ends after 20 windows")))
            return false;
        const QString name = hist(QStringLiteral("name")).toString();
        // One file per window, "series<window>_<name>.csv" for windows 1 … 20, each holding one
        // histogram block of 400 bins.
        const QDir series(kit_.artifactPath(QStringLiteral("series")));
        const QStringList files = series.entryList({QStringLiteral("series*_") + name + QStringLiteral(".csv")}, QDir::Files);
        int complete = 0;
        for (int window = 1; window <= kWindows; ++window) {
            const QString file = series.filePath(QStringLiteral("series%1_%2.csv").arg(window).arg(name));
            if (readLines(file).size() == 400 + 5)
                ++complete;
        }
        kit_.check(files.size() == kWindows && complete == kWindows,
                   QStringLiteral("20 windows of files in series/ (%1 files, %2 of windows 1 … 20 with one block: %3)")
                       .arg(files.size()).arg(complete).arg(files.join(QLatin1Char(' '))));
        const int winNum = kit_.evalIn(panel, QStringLiteral("model.winNum")).toInt();
        const int lost = kit_.evalIn(panel, QStringLiteral("model.lostWindows")).toInt();
        kit_.check(winNum - lost == kWindows && lost == 0,
                   QStringLiteral("the statistics count 20 windows saved, none lost (last window %1, lost %2)").arg(winNum).arg(lost));
        kit_.check(kit_.evalIn(panel, QStringLiteral("model.savedFilesSize > 0")).toBool(),
                   QStringLiteral("the statistics count the bytes written"));
        kit_.check(!hist(QStringLiteral("isTimeTrigActive")).toBool(), QStringLiteral("the histogram leaves time-trigger mode"));
        QTest::qWait(500);
        kit_.screenshot(QStringLiteral("07_time_trigger"));
        return true;
    }

    bool finish()
    {
        kit_.eval(QStringLiteral("dictView[%1].btn0Fired()").arg(quoted(chartUuid_)));
        return kit_.disconnectBoard();
    }

    Kit &kit_;
    QQuickItem *settings_ = nullptr;
    QQuickItem *chart_ = nullptr;
    QString chartUuid_;
};
} // namespace

bool runScenario(Kit &kit)
{
    Scenario scenario(kit);
    return scenario.run();
}

} // namespace e2e
