// The time-tagging plugin end to end: against the virtual board, a 5 s recording into ".bin"
// files split by size and a 2 s recording into ".csv", both read back with
// `tdc-cli read-raw --check` (its output is kept beside the screenshots) and compared with
// the number of events the view showed; then the preview of the built-in profile's
// correlated pair, whose highest bar must sit at the pair's 12 ns delay.
#include "e2ekit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QUrl>

#include <algorithm>

namespace e2e {

namespace {
constexpr int kRecordingTimeoutMs = 90000;
const QString kModel = QStringLiteral("dictView['ttm'].tdcModelData[0]");

QString model(const QString &member)
{
    return kModel + QLatin1Char('.') + member;
}

// The files of a series in the order written: "name10" after "name9".
QStringList seriesFiles(const QString &folder, const QString &pattern)
{
    QStringList files;
    const QDir dir(folder);
    for (const QString &f : dir.entryList({pattern}, QDir::Files))
        files << dir.filePath(f);
    std::sort(files.begin(), files.end(), [](const QString &a, const QString &b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return files;
}

// Runs the checker over the files, keeps its output, and compares its totals with the view.
bool checkRecorded(Kit &kit, const QStringList &files, quint64 shown, const QString &outputName)
{
    QProcess process;
    process.start(QStringLiteral(TDC_CLI), QStringList{QStringLiteral("read-raw"), QStringLiteral("--check")} + files);
    const bool finished = process.waitForFinished(120000);
    const QByteArray out = process.readAllStandardOutput();
    QFile kept(kit.artifactPath(outputName));
    if (kept.open(QIODevice::WriteOnly))
        kept.write("$ tdc-cli read-raw --check " + files.join(QLatin1Char(' ')).toUtf8() + "\n" + out +
                   process.readAllStandardError() + "exit " + QByteArray::number(process.exitCode()) + "\n");
    quint64 tags = 0, lost = 0;
    bool ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    for (const QByteArray &line : out.split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonObject doc = QJsonDocument::fromJson(line).object();
        ok = ok && doc.value(QStringLiteral("ok")).toBool();
        tags += quint64(doc.value(QStringLiteral("tags")).toDouble());
        lost += quint64(doc.value(QStringLiteral("lost")).toDouble());
    }
    kit.check(ok, QStringLiteral("tdc-cli read-raw --check accepts every file (%1)").arg(outputName));
    kit.check(lost == 0, QStringLiteral("the files mark no lost tags (%1)").arg(outputName));
    return kit.check(tags == shown && shown > 0,
                     QStringLiteral("the files hold as many tags as the view counted (%1 read, %2 shown)").arg(tags).arg(shown));
}

bool waitRecordingDone(Kit &kit, const QString &what)
{
    return kit.waitUntil(QStringLiteral("!%1 && !%2").arg(model("enableSaveRAW"), model("emptyingQueue")),
                         kRecordingTimeoutMs, what);
}

// The x of the middle of the highest bar in (width, height) pairs laid side by side from 0.
double peakPosition(const QVector<double> &data, double &height)
{
    double x = 0, at = -1;
    height = 0;
    for (int i = 0; i + 1 < data.size(); i += 2) {
        if (data[i + 1] > height) {
            height = data[i + 1];
            at = x + data[i] / 2;
        }
        x += data[i];
    }
    return at;
}
} // namespace

bool runScenario(Kit &kit)
{
    if (!kit.waitForMainWindow() || !kit.connectBoard(QStringLiteral("01_home")))
        return false;
    kit.window()->resize(1600, 1000);
    QQuickItem *view = kit.viewItem(QStringLiteral("ttm"));
    if (!kit.check(view != nullptr, QStringLiteral("the time-tagging view is added after connection")))
        return false;
    kit.eval(QStringLiteral("setViewByUUID('ttm')"));
    QQuickItem *config = kit.findItem(view, QStringLiteral("ttmConfiguration"));
    QQuickItem *format = kit.findItem(view, QStringLiteral("ttmFormat"));
    QQuickItem *split = kit.findItem(view, QStringLiteral("ttmSplitEnable"));
    QQuickItem *interval = kit.findItem(view, QStringLiteral("ttmTimeInterval"));
    QQuickItem *save = kit.findItem(view, QStringLiteral("ttmSaveButton"));
    if (!kit.check(config && format && split && interval && save, QStringLiteral("the configuration panel has its controls")))
        return false;
    kit.check(kit.findItem(view, QStringLiteral("ttmStats")) != nullptr,
              QStringLiteral("the right panel starts on the statistics"));
    QTest::qWait(500);
    kit.screenshot(QStringLiteral("02_ttm_view"));

    const QString recordings = kit.artifactPath(QStringLiteral("recordings"));
    QDir(recordings).removeRecursively();
    QDir().mkpath(recordings);
    kit.evalIn(config, QStringLiteral("saveFile.folderURL = '%1'").arg(QUrl::fromLocalFile(recordings).toString()));
    kit.evalIn(config, QStringLiteral("saveFile.fileName = 'ttm-acquisition'"));

    // 5 s into ".bin" files of at most 2 MB each.
    kit.evalIn(format, QStringLiteral("toggle(1)"));
    kit.click(split);
    kit.typeInto(kit.findItem(view, QStringLiteral("ttmSizeField")), QStringLiteral("2MB"));
    kit.click(interval);
    kit.typeInto(kit.findItem(view, QStringLiteral("ttmDurationField")), QStringLiteral("5s"));
    kit.check(kit.evalIn(config, QStringLiteral("sizeField.valid && durationField.valid && durationField.enabled")).toBool(),
              QStringLiteral("the size and duration fields accept 2MB and 5s"));
    kit.screenshot(QStringLiteral("03_configured_bin"));
    kit.click(save);
    if (!kit.waitUntil(model("enableSaveRAW"), 10000, QStringLiteral("SAVE starts the recording")))
        return false;
    kit.check(save->property("text").toString() == QLatin1String("STOP"), QStringLiteral("the button reads STOP while recording"));
    QTest::qWait(2500);
    kit.screenshot(QStringLiteral("04_recording_bin"));
    if (!waitRecordingDone(kit, QStringLiteral("the 5 s recording stops by itself and closes its files")))
        return false;
    kit.screenshot(QStringLiteral("05_recorded_bin"));
    const quint64 binTags = kit.eval(model("integrationSample")).toULongLong();
    kit.check(kit.eval(model("lostSamples")).toDouble() == 0, QStringLiteral("no events were lost"));
    const QString binFolder = recordings + QLatin1Char('/') + kit.eval(model("subFolderRAW")).toString();
    const QStringList binFiles = seriesFiles(binFolder, QStringLiteral("ttm-acquisition*.bin"));
    kit.check(binFiles.size() >= 3, QStringLiteral("the recording is split into %1 files (at least 3)").arg(binFiles.size()));
    checkRecorded(kit, binFiles, binTags, QStringLiteral("check_bin.txt"));

    // 2 s into one ".csv" file; a folder of the file's name exists now, so a new one is made.
    kit.evalIn(format, QStringLiteral("toggle(0)"));
    kit.click(split);
    kit.typeInto(kit.findItem(view, QStringLiteral("ttmDurationField")), QStringLiteral("2s"));
    kit.click(save);
    if (!kit.waitUntil(model("enableSaveRAW"), 10000, QStringLiteral("SAVE starts the CSV recording")))
        return false;
    if (!waitRecordingDone(kit, QStringLiteral("the 2 s CSV recording stops by itself")))
        return false;
    const QString csvSub = kit.eval(model("subFolderRAW")).toString();
    kit.check(csvSub == QLatin1String("ttm-acquisition_1"),
              QStringLiteral("the second recording goes to ttm-acquisition_1 (%1)").arg(csvSub));
    const quint64 csvTags = kit.eval(model("integrationSample")).toULongLong();
    const QStringList csvFiles = seriesFiles(recordings + QLatin1Char('/') + csvSub, QStringLiteral("ttm-acquisition*.csv"));
    kit.check(csvFiles.size() == 1, QStringLiteral("one CSV file"));
    checkRecorded(kit, csvFiles, csvTags, QStringLiteral("check_csv.txt"));
    kit.screenshot(QStringLiteral("06_recorded_csv"));

    // The preview of channel 1 against channel 2, both rising: the pair's 12 ns delay.
    kit.click(kit.findItem(view, QStringLiteral("ttmBackToPreview")));
    QTest::qWait(1000);
    QQuickItem *ref = kit.findItem(view, QStringLiteral("ttmRefSelectorCombo"));
    QQuickItem *meas = kit.findItem(view, QStringLiteral("ttmMeasSelectorCombo"));
    if (!kit.check(ref && meas, QStringLiteral("\"Back to preview\" turns the panel to the preview and its selectors")))
        return false;
    kit.evalIn(ref, QStringLiteral("activated(3)"));
    kit.evalIn(meas, QStringLiteral("activated(5)"));
    kit.check(kit.eval(QStringLiteral("%1 === 1 && %2 === 1 && %3 === 2 && %4 === 1")
                           .arg(model("chart.refCH"), model("chart.refEdge"), model("chart.measCH"), model("chart.measEdge")))
                  .toBool(),
              QStringLiteral("entries \"CH1 R\" and \"CH2 R\" select channels 1 and 2 on rising edges"));
    kit.click(kit.findItem(view, QStringLiteral("ttmPreviewCheck")));
    if (!kit.waitUntil(model("enableHist") + QStringLiteral(" && ") + model("enableTTM"), 10000,
                       QStringLiteral("PREVIEW starts the capture")))
        return false;
    double peakAt = -1, height = 0;
    kit.waitFor([&] {
        peakAt = peakPosition(kit.eval(model("chart.data.data")).value<QVector<double>>(), height);
        return height >= 20;
    }, 30000, QStringLiteral("the preview fills"));
    kit.check(peakAt > 11.5e-9 && peakAt < 12.5e-9,
              QStringLiteral("the preview's highest bar is at the pair's 12 ns delay (%1 ns)").arg(peakAt * 1e9));
    QQuickItem *plot = kit.findItem(view, QStringLiteral("ttmPreviewPlot"));
    kit.evalIn(plot, QStringLiteral("userZoomed = true; refChartArea.zoomRect = Qt.rect(11e-9, refChartArea.zoomRect.y,"
                                    " 2e-9, refChartArea.zoomRect.height)"));
    QTest::qWait(2500);
    kit.screenshot(QStringLiteral("07_preview_peak"));
    kit.click(kit.findItem(view, QStringLiteral("ttmPreviewCheck")));
    kit.waitUntil(QStringLiteral("!%1 && !%2").arg(model("enableTTM"), model("emptyingQueue")), 10000,
                  QStringLiteral("unchecking PREVIEW stops the capture"));
    // The check output stays; the recordings (tens of MB) only when something failed.
    if (kit.passedSoFar())
        QDir(recordings).removeRecursively();
    return kit.disconnectBoard();
}

} // namespace e2e
