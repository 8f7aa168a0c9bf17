import QtQuick 2.15
import QtQuick.Window 2.15
import QtTest 1.2
import "fakes"
import "fakes/files.js" as Files

TestCase {
    id: test
    name: "OldHistogrammerView"
    when: windowShown
    width: 1100
    height: 760

    property var view: null
    property var hists: []

    Component { id: histComponent; FakeOldHistogram {} }
    Window { id: host; width: 1100; height: 760; visible: true }
    FakeMainWindow { id: shell }
    QtObject {
        id: topBar
        signal btn0Fired()
        signal btn1Fired()
        signal btn2Fired()
    }

    function createView(count) {
        hists = [];
        for (var i = 0; i < count; ++i)
            hists.push(histComponent.createObject(test, { name: "Histogram " + i }));
        var component = Qt.createComponent("qrc:/plugin/oldhistogrammermodule/qml/chart/OldHistogrammerView.qml");
        compare(component.status, Component.Ready, component.errorString());
        view = component.createObject(host.contentItem, { width: 1100, height: 760, tdcModelData: hists,
                                                          mainWindow: shell, topWindowBar: topBar });
        verify(view);
        return view;
    }

    function cleanup() {
        if (view)
            view.destroy();
        view = null;
        shell.messages = [];
        fileUtils.folders = [];
        fileUtils.opened = [];
        Files.reset();
        wait(0);
    }

    function card(i) {
        tryVerify(function() { return findChild(view, "histogramCard" + i) !== null; }, 2000, "card " + i);
        return findChild(view, "histogramCard" + i);
    }

    function test_addRemoveAndColours() {
        createView(3);
        verify(view.addHistogramModel(hists[0]));
        verify(!view.addHistogramModel(hists[0]));
        compare(shell.lastMessage().title, "INFO");
        compare(shell.lastMessage().text, "Histogrammer already inserted.");
        verify(view.addHistogramModel(hists[1], "#123456"));
        verify(view.addHistogramModel(hists[2]));
        compare(view.colors, ['#2f7ed8', "#123456", '#8bbc21'], "given, else the palette by count");
        compare(String(view.bars[1].plotter.color), "#123456");
        verify(view.removeHistogramModel(hists[1]));
        compare(view.histModels, [hists[0], hists[2]]);
        compare(view.colors, ['#2f7ed8', '#8bbc21']);
        compare(view.bars.length, 2);
        verify(!view.removeHistogramModel(hists[1]));
        var other = Qt.createQmlObject('import QtQuick 2.15; QtObject { property string name: "New"; property real leftBound: 0 }', test);
        verify(!view.addHistogramModel(other), "a histogram of the other plugin is refused");
        compare(shell.lastMessage().text, "Only legacy histograms can be shown in this ChartView.");
        compare(view.histModels.length, 2);
        other.destroy();
    }

    function test_cardsSwitchOffsetAndRemove() {
        createView(2);
        view.addHistogramModel(hists[0]);
        view.addHistogramModel(hists[1]);
        var row = card(1);
        var enable = findChild(row, "enableSwitch");
        verify(enable);
        enable.toggle();
        enable.toggled();
        verify(hists[1].isActive, "ENABLE switches the wrapper");
        var slider = findChild(row, "offsetSlider");
        compare(slider.to, 3e-9);
        view.setOffset(hists[1], 1.5e-9);
        compare(view.bars[1].xOffset, 1.5e-9);
        compare(view.bars[0].xOffset, 0);
        compare(slider.value, 1.5e-9);
        hists[1].isTimeTrigActive = true;
        verify(!enable.enabled && !slider.enabled, "locked in time-trigger mode");
        hists[1].isTimeTrigActive = false;
        findChild(row, "removeHistogram").clicked();
        compare(view.histModels.length, 1);
        verify(view.histModels[0] === hists[0]);
    }

    function test_columnChooser() {
        createView(1);
        view.addHistogramModel(hists[0]);
        var row = card(0);
        compare(view.columns, ["MEAN", "STD", "RATE", "EVENTS", "TIME"]);
        verify(!findChild(view, "addColumnButton").visible, "nothing left to add");
        findChild(view, "removeColumn_STD").clicked();
        compare(view.columns, ["MEAN", "RATE", "EVENTS", "TIME"]);
        verify(findChild(view, "addColumnButton").visible);
        view.addColumn("STD");
        view.addColumn("STD");
        view.addColumn("CHART MEAN");
        compare(view.columns, ["MEAN", "RATE", "EVENTS", "TIME", "STD"], "once each, legacy columns only");
        tryVerify(function() { return findChild(card(0), "cell_EVENTS") !== null; });
        compare(findChild(card(0), "cell_EVENTS").text, "2.5 K");
    }

    function test_settingsRoundTrip() {
        createView(3);
        view.addHistogramModel(hists[2], '#910000');
        view.addHistogramModel(hists[0]);
        view.removeColumn("TIME");
        view.ttPanel.windowSeconds = 2;
        view.ttPanel.durationMode = "interval";
        view.ttPanel.intervalText = "1m";
        view.ttPanel.setFormat(".png", true);
        view.ttPanel.folderText = "/runs";
        settings.clear();
        view.saveSettings();
        compare(settings.value("modelArray/size"), 2);
        compare(settings.value("modelArray/1/modelDataIndex"), 2);
        compare(settings.value("modelArray/1/chartColor"), '#910000');
        view.destroy();
        wait(0);

        createView(3);
        view.loadSettings();
        compare(view.histModels.length, 2);
        compare(view.histModels[0].name, "Histogram 2");
        compare(view.colors, ['#910000', '#0d233a'], "the stored colours, not the palette's by position");
        compare(view.columns, ["MEAN", "STD", "RATE", "EVENTS"]);
        compare(view.ttPanel.windowSeconds, 2);
        compare(view.ttPanel.durationMode, "interval");
        compare(view.ttPanel.chosenRepetition, 30, "one minute of two-second windows");
        compare(view.ttPanel.formats, [".png", ".csv"]);
        compare(view.ttPanel.folderText, "/runs");
    }

    function test_storedIndexesOutOfRangeAreSkipped() {
        createView(1);
        settings.clear();
        settings.beginWriteArray("modelArray", 2);
        settings.setArrayIndex(0);
        settings.setValue("modelDataIndex", 10);
        settings.setArrayIndex(1);
        settings.setValue("modelDataIndex", 0);
        settings.endArray();
        settings.setValue("columns", "");
        view.loadSettings();
        compare(view.histModels.length, 1);
        compare(view.columns, []);
    }

    function test_exportWritesImagesAndOneCsvPerHistogram() {
        createView(2);
        view.addHistogramModel(hists[0]);
        view.addHistogramModel(hists[1]);
        fileUtils.folders = ["/out/Chart"];
        var dir = view.exportChart("/out", "Chart", [".csv"], true);
        compare(dir, "/out/Chart_1", "a folder of that name exists: the first free one");
        compare(hists[0].exported, ["/out/Chart_1/Chart_Histogram 0.csv"]);
        compare(hists[1].exported, ["/out/Chart_1/Chart_Histogram 1.csv"]);
        compare(fileUtils.opened, ["/out/Chart_1"]);
        topBar.btn0Fired();
        verify(view.exportDialog.visible, "Save chart opens the export dialog");
        view.exportDialog.close();
    }

    function test_runningTimeTriggerLocksExportAndClean() {
        createView(1);
        view.addHistogramModel(hists[0]);
        view.ttPanel.folderText = "/runs";
        verify(view.ttPanel.start());
        verify(view.running);
        verify(!view.openExport());
        compare(shell.lastMessage().title, "TIME TRIGGER RUNNNING");
        compare(shell.lastMessage().text, "It's not possible to save ChartView while Time Trigger is running");
        verify(!view.clean());
        compare(hists[0].calls.indexOf("resetBtnFired"), -1);
        view.ttPanel.stop();
        verify(view.clean());
        verify(hists[0].calls.indexOf("resetBtnFired") >= 0);
    }

    function test_timeTriggerStartRules() {
        createView(2);
        var panel = view.ttPanel;
        panel.folderText = "/runs";
        verify(!panel.start());
        compare(shell.lastMessage().text, "No histogram added for Time Trigger.");
        view.addHistogramModel(hists[0]);
        view.addHistogramModel(hists[1]);
        hists[1].isTimeTrigActive = true;
        verify(!panel.start());
        compare(shell.lastMessage().text, "One or more histogrammers already in Time Trgger mode.");
        hists[1].isTimeTrigActive = false;

        fileUtils.folders = ["/runs/Legacy"];
        panel.windowSeconds = 3;
        panel.durationMode = "interval";
        panel.intervalText = "10s";
        compare(panel.intervalWindows, 4, "ten seconds of three-second windows");
        verify(panel.start());
        var model = panel.ttModel;
        compare(model.subFolder, "Legacy_1");
        compare(model.filePrefix, "Legacy");
        compare(String(model.folder), "file:///runs");
        compare(model.timeInterval, 3);
        compare(model.repetition, 4);
        compare(model.histModels, [hists[0], hists[1]]);
        verify(hists[0].isActive && hists[0].isTimeTrigActive, "the run switches its histograms on");
        panel.stop();
        verify(!hists[0].isTimeTrigActive);

        panel.durationMode = "windows";
        panel.windows = 2;
        verify(panel.start());
        compare(model.repetition, 2);
        panel.stop();
    }

    function test_imagesCompleteWithTheirPath() {
        createView(1);
        view.addHistogramModel(hists[0]);
        view.ttPanel.folderText = "/data/run.2";
        verify(view.ttPanel.start());
        view.plot.exportComplete("/data/run.2/Legacy/Legacy0.png", true);
        compare(view.ttPanel.ttModel.completed, ["/data/run.2/Legacy/Legacy0.png"]);
        view.ttPanel.stop();
        view.plot.exportComplete("/elsewhere/Chart.png", true);
        compare(view.ttPanel.ttModel.completed.length, 1, "a chart export outside a run is no window");
    }

    function test_logScaleReachesBothChartsAndIsKept() {
        createView(2);
        view.addHistogramModel(hists[0]);
        hists[0].dataContainer.data = [0, 10, 100];
        var main = view.bars[0];
        var tt = view.ttBars[0];
        verify(!main.logScale && !tt.logScale);
        findChild(view, "logScaleBox").toggle();
        findChild(view, "logScaleBox").toggled();
        verify(view.plot.isYAxisLog);
        verify(main.logScale && tt.logScale, "both bars of the histogram follow the y axis");
        verify(view.ttPanel.ttPlot.isYAxisLog, "and so does the time-trigger chart's axis");
        compare(main.logNode.data, [0, 1, 2], "empty bins stay at 0");
        hists[0].dataContainer.data = [1000, 1, 10];
        compare(main.logNode.data, [3, 0, 1], "new counts go through the log node");
        // Added while the axis is logarithmic: log from the start.
        view.addHistogramModel(hists[1]);
        verify(view.bars[1].logScale && view.ttBars[1].logScale);

        settings.clear();
        view.saveSettings();
        compare(settings.value("isYAxisLog"), true);
        view.plot.isYAxisLog = false;
        verify(!main.logScale && !tt.logScale);
        hists[0].dataContainer.data = [10, 10, 10];
        compare(main.logNode.data, [3, 0, 1], "a linear axis takes the counts as they are, past the log node");
        view.loadSettings();
        verify(view.plot.isYAxisLog, "restored with the view");
    }

    function test_timeTriggerChartSmoothsByBinCount() {
        createView(2);
        hists[1].bin_addr_width = 6;
        view.addHistogramModel(hists[0]);
        view.addHistogramModel(hists[1]);
        compare(view.ttBars.length, 2);
        verify(!view.bars[0].smoothed, "the main chart shows every bin");
        verify(view.ttBars[0].smoothed);
        compare(view.ttBars[0].average.depth, 16, "1024 bins");
        compare(view.ttBars[1].average.depth, 2, "64 bins");
        compare(view.ttBars[0].plotter.chartArea, view.ttPanel.chartArea);
        view.setColor(hists[1], "#123456");
        compare(String(view.ttBars[1].plotter.color), "#123456");
        view.removeHistogramModel(hists[0]);
        compare(view.ttBars.length, 1);
        compare(view.ttBars[0].hist, hists[1]);
    }

    function test_panelShowsTheRunsFigures() {
        createView(1);
        var model = view.ttPanel.ttModel;
        model.windowsSaved = 3;
        model.elapsedTime = 12;
        model.savedFilesSize = 3 * 1024 * 1024;
        compare(findChild(view.ttPanel, "windowsSaved").text, "3");
        compare(findChild(view.ttPanel, "elapsedTime").text, "12s");
        compare(findChild(view.ttPanel, "savedFilesSize").text, "3.00 MB");
    }

    function test_imagesComeFromTheChartThatIsShown() {
        createView(1);
        view.addHistogramModel(hists[0]);
        view.ttPanel.folderText = "/runs";
        verify(view.ttPanel.start());
        compare(view.ttPanel.imageChart(), view.plot, "the panel is hidden: the main chart is written");
        topBar.btn2Fired();
        tryVerify(function() { return view.ttPanel.ttPlot.visible; });
        compare(view.ttPanel.imageChart(), view.ttPanel.ttPlot, "the panel's own chart while it is shown");
        view.ttPanel.ttPlot.exportComplete("/runs/Legacy/Legacy0.png", true);
        compare(view.ttPanel.ttModel.completed, ["/runs/Legacy/Legacy0.png"]);
        // A failed image is reported, and its window still ends.
        view.ttPanel.ttPlot.exportComplete("/runs/Legacy/Legacy1.png", false);
        compare(view.ttPanel.ttModel.completed.length, 2);
        compare(shell.lastMessage().title, "TIME TRIGGER");
        view.ttPanel.stop();
    }
}
